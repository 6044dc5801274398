// Finding the arguments after the program's own name in a process command line.

#include "cmdline/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace cmdline::test {
namespace {

TEST(CommandTailTest, SkipsTheNameAndTheBlanksAfterIt) {
    struct Case {
        std::string line;
        std::string tail;
    };
    const Case cases[] = {
        {"", ""},
        {"Kolvane.exe", ""},
        {"Kolvane.exe -s", "-s"},
        {"Kolvane.exe   -s -?", "-s -?"},
        {"C:\\Pakete\\Kolvane.exe\t-s ", "-s "},
        {"Kolvane.exe\n\r\x01-s", "-s"},        // codes 1 to 32 all end the name and are skipped
        {"Kolvane.exe\x7F -s", "-s"},           // 127 is a name character
        {"C:\\Z\xFCge\\Kolvane.exe -s", "-s"},  // codes from 128 belong to the name
        {"Kolvane\xA0.exe -s", "-s"},           // even the no-break space
        {"\"C:\\Program Files\\Kolvane.exe\" -s", "-s"},
        {"\"C:\\Program Files\\Kolvane.exe\"-s", "-s"},
        {"\"\" -s", "-s"},
        {"\"C:\\unclosed -s", ""},
        {"Kol\"vane\" -s", "-s"},  // a quote inside an unquoted name is a name character
        {"   Kolvane.exe -s", "Kolvane.exe -s"},  // blanks before the name are an empty name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line \"" + c.line + "\"");
        const char* tail = CommandTail(c.line.c_str());
        EXPECT_EQ(std::string(tail), c.tail);
        // The tail is the rest of the same text, not a copy.
        EXPECT_EQ(tail, c.line.c_str() + (c.line.size() - c.tail.size()));
    }
    EXPECT_STREQ(CommandTail(nullptr), "");
}

}  // namespace
}  // namespace cmdline::test
