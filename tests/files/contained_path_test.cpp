#include "files/contained_path.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvane {
namespace {

TEST(StaysInsideBaseTest, TellsPathsThatStayFromPathsThatLeave) {
    struct Case {
        std::string path;
        bool inside;
    };
    const Case cases[] = {
        // Ordinary paths, and ".." that stays inside.
        {"File.dat", true},
        {"Sub\\Deeper\\File.dat", true},
        {"", true},
        {"Sub\\..\\File.dat", true},
        {"Sub\\..", true},
        {"A\\B\\..\\..\\C\\File.dat", true},
        {".\\File.dat", true},
        {"Sub\\\\File.dat", true},
        {"Sub\\", true},
        {"b>>c", true},
        {"..File.dat", true},
        {"File..dat", true},
        {".hidden", true},
        {"Br\xFC"
         "cke.dat",
         true},
        // ".." above the base, with either separator.
        {"..", false},
        {"..\\File.dat", false},
        {"../File.dat", false},
        {"Sub\\..\\..\\File.dat", false},
        {"Sub/../../File.dat", false},
        {"A\\..\\B\\..\\..\\C", false},
        {".\\..\\File.dat", false},
        {"Sub\\..\\..", false},
        // Components of dots other than "." and "..".
        {"...", false},
        {"Sub\\...\\File.dat", false},
        {"Sub\\.. ", false},
        // Drives, streams and roots.
        {"C:\\Windows\\x.dll", false},
        {"C:x.dll", false},
        {"File.dat:stream", false},
        {"File.dat::$DATA", false},
        {"\\Windows\\x.dll", false},
        {"/etc/passwd", false},
        {"\\\\server\\share\\x.dll", false},
        {"\\\\?\\C:\\x.dll", false},
        {"//server/share/x.dll", false},
        // Devices, in any case, with or without an extension, anywhere in the path.
        {"CON", false},
        {"con.txt", false},
        {"Sub\\prn", false},
        {"Aux.dat\\x", false},
        {"NUL", false},
        {"nul.tar.gz", false},
        {"COM1", false},
        {"com9.log", false},
        {"LPT1", false},
        {"Sub\\lpt9.txt", false},
        {"COM\xB9", false},
        {"lpt\xB3.dat", false},
        {"CONIN$", false},
        {"conout$.txt", false},
        {"CON .txt", false},
        // Names that only look like devices.
        {"CONSOLE", true},
        {"COM0", true},
        {"COM10", true},
        {"LPT", true},
        {"NULL.dat", true},
        {"AUXILIARY", true},
        {"Sub.CON", true},
        {"xCOM1", true},
        // A NUL byte, at which Windows would end the path.
        {std::string("File.dat\0..\\..\\x", 16), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.path + "\"");
        EXPECT_EQ(StaysInsideBase(c.path), c.inside);
    }
}

}  // namespace
}  // namespace kolvane
