#include "platform/posix/wine_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "install/host_locator.h"
#include "support/registry_query.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

using testing::Nul;
using testing::Queried;
using testing::Query;
using testing::TempDir;

constexpr std::string_view kSystemHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
constexpr std::string_view kUserHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
    "#arch=win64\n\n";

// The key line of Software\Classes\Software\Tessaline\<product>, as Wine writes it.
std::string ProductKey(std::string_view product) {
    return "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\" + std::string(product) +
           "] 1796626115\n#time=1dd8616fb12a0b2\n";
}

class WineRegistryFilesTest : public ::testing::Test {
  protected:
    std::string Prefix() const { return dir.Path(); }
    void WriteSystem(const std::string& keysAndValues) const {
        dir.Write("system.reg", std::string(kSystemHeader) + keysAndValues);
    }
    void WriteUser(const std::string& keysAndValues) const {
        dir.Write("user.reg", std::string(kUserHeader) + keysAndValues);
    }

    TempDir dir;
};

TEST_F(WineRegistryFilesTest, StringEscapesComeOutInWindows1252) {
    struct Case {
        const char* file;      // the value's data as Wine writes it
        std::string expected;  // what RegQueryValueExA hands out
    };
    const Case cases[] = {
        {R"("C:\\Host\\Host.exe")", Nul("C:\\Host\\Host.exe")},
        {R"("say \"hi\"")", Nul("say \"hi\"")},
        {R"("a\tb\nc\rd")", Nul("a\tb\nc\rd")},
        {R"("\x41\x42")", Nul("AB")},
        // Four digits at most: Wine pads to four when a hex digit follows.
        {R"("Br\x00fccke")", Nul("Br\xFC"
                                 "cke")},
        {R"("\xe4\xf6\xfc\xdf")", Nul("\xE4\xF6\xFC\xDF")},
        {R"("\x20ac")", Nul("\x80")},
        {R"("\x101")", Nul("?")},  // not in Windows-1252
        {R"("\101\0102")", Nul("A\b2")},
        {R"("\x")", Nul("x")},
        {R"("\q\[\]")", Nul("q[]")},
        {"\"Br\xC3\xBC"
         "cke \xE2\x82\xAC\"",
         Nul("Br\xFC"
             "cke \x80")},                    // raw UTF-8
        {"\"\xF0\x9F\x98\x80\"", Nul("??")},  // one character beyond the BMP: two units
        {"\"a\xFF"
         "b\"",
         Nul("ab")},  // a byte that starts no UTF-8 character is dropped
        {R"("")", Nul("")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteSystem(ProductKey("HMDX") + "\"AppPath\"=" + c.file + "\n");
        WinePrefixRegistry registry(Prefix());
        const Queried queried = Query(registry, "Software\\Tessaline\\HMDX", "AppPath");
        ASSERT_EQ(queried.result, kErrorSuccess);
        EXPECT_EQ(queried.type, kRegSz);
        EXPECT_EQ(queried.bytes, c.expected);
    }
}

TEST_F(WineRegistryFilesTest, ValueTypesKeepTheirTypeAndBytes) {
    WriteSystem(ProductKey("HMDX") +
                "@=\"default\"\n"
                "\"Expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
                "\"Multi\"=str(7):\"one\\0two\\0\"\n"
                "\"Plain\"=str:\"plain\"\n"
                "\"Number\"=dword:0000002a\n"
                "\"Big\"=dword:ffffffff\n"
                "\"Blob\"=hex:01,02,ff\n"
                "\"Empty\"=hex:\n"
                "\"Typed\"=hex(100000):0a,0b\n"
                "\"Broken\"=strange:1\n");
    struct Case {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    };
    const Case cases[] = {
        {"", kRegSz, Nul("default")},
        {"Expand", kRegExpandSz, Nul("%SystemRoot%\\x")},
        {"Multi", kRegMultiSz, Nul(Nul(Nul("one") + "two"))},
        {"Plain", kRegSz, Nul("plain")},
        {"Number", kRegDword, std::string("\x2a\0\0\0", 4)},
        {"Big", kRegDword, std::string("\xff\xff\xff\xff", 4)},
        {"Blob", kRegBinary, std::string("\x01\x02\xff", 3)},
        {"Empty", kRegBinary, ""},
        {"Typed", 0x100000, "\x0a\x0b"},
        {"Broken", kRegNone, ""},  // Wine keeps a value it cannot read, empty and untyped
    };
    WinePrefixRegistry registry(Prefix());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Queried queried = Query(registry, "Software\\Tessaline\\HMDX", c.name);
        ASSERT_EQ(queried.result, kErrorSuccess);
        EXPECT_EQ(queried.type, c.type);
        EXPECT_EQ(queried.bytes, c.bytes);
    }
}

TEST_F(WineRegistryFilesTest, HexDataGoesOnOverContinuedLines) {
    WriteSystem(ProductKey("HMDX") +
                "\"Path\"=hex(2):43,00,3a,00,5c,00,\\\n"
                "  48,00,6f,00,\\\r\n"
                "\t73,00,74,00,00,00\n"
                "\"After\"=\"still read\"\n"
                "\"Cut\"=hex:01,\\\n");
    WinePrefixRegistry registry(Prefix());
    const Queried path = Query(registry, "Software\\Tessaline\\HMDX", "Path");
    ASSERT_EQ(path.result, kErrorSuccess);
    EXPECT_EQ(path.type, kRegExpandSz);
    EXPECT_EQ(path.bytes, Nul("C:\\Host"));
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "After").bytes, Nul("still read"));
    const Queried cut = Query(registry, "Software\\Tessaline\\HMDX", "Cut");
    EXPECT_EQ(cut.type, kRegNone);  // the file ends in the middle of the value
}

TEST_F(WineRegistryFilesTest, ReadsOnlyTheClassesOfAWineFile) {
    WriteSystem(
        "[Software\\\\Tessaline\\\\HMDX] 1\n\"AppPath\"=\"machine key, not a class\"\n"
        "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\QZ] 1\n"
        "; a comment\n"
        "#class=\"x\"\n"
        "   \"AppPath\"  =  \"indented\"\n"
        "[Software\\\\Classes\\\\Software\\\\Broken 1\n"
        "\"AppPath\"=\"belongs to no key\"\n"
        "[sOFTWARE\\\\cLASSES\\\\Software\\\\Tessaline\\\\QZ] 2\n"
        "\"Second\"=\"the same key, met again\"\n");
    WinePrefixRegistry registry(Prefix());
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").result, kErrorFileNotFound);
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\QZ", "AppPath").bytes, Nul("indented"));
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\QZ", "Second").bytes,
              Nul("the same key, met again"));
    // The value after the malformed key line does not land in the key before it.
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\QZ", "AppPath").bytes, Nul("indented"));
    EXPECT_EQ(Query(registry, "Software\\Broken", "AppPath").result, kErrorFileNotFound);
}

TEST_F(WineRegistryFilesTest, AFileWithoutWinesHeaderGivesNoKeys) {
    const std::string keys = ProductKey("HMDX") + "\"AppPath\"=\"C:\\\\Host\\\\\"\n";
    for (const std::string header :
         {"REGEDIT4\n", "Windows Registry Editor Version 5.00\n", "\n", ""}) {
        SCOPED_TRACE(header);
        dir.Write("system.reg", header + keys);
        WinePrefixRegistry registry(Prefix());
        EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").result,
                  kErrorFileNotFound);
    }
    dir.Write("system.reg", "WINE REGISTRY Version 2\r\n" + keys);
    WinePrefixRegistry registry(Prefix());
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").result, kErrorSuccess);
}

TEST_F(WineRegistryFilesTest, AFileCutAnywhereNeverGivesPartOfAString) {
    const std::string full = std::string(kSystemHeader) + ProductKey("HMDX") +
                             "\"AppPath\"=\"C:\\\\Host\\\\Host.exe\"\r\n"
                             "\"ResBase\"=str(2):\"C:\\\\Host\\\\Res\"\n";
    for (std::size_t length = 0; length <= full.size(); ++length) {
        SCOPED_TRACE(length);
        dir.Write("system.reg", full.substr(0, length));
        WinePrefixRegistry registry(Prefix());
        for (const auto& [name, complete] :
             {std::pair{"AppPath", "C:\\Host\\Host.exe"}, std::pair{"ResBase", "C:\\Host\\Res"}}) {
            const Queried value = Query(registry, "Software\\Tessaline\\HMDX", name);
            // Absent, unreadable (no type), or whole: never a shorter path.
            if (value.result == kErrorSuccess && value.type != kRegNone) {
                EXPECT_EQ(value.bytes, Nul(complete)) << name;
            }
        }
    }
}

TEST_F(WineRegistryFilesTest, KeysDeeperThanWindowsAllowsArePassedOver) {
    const auto keyOfDepth = [](std::size_t levels) {
        std::string line = "[Software\\\\Classes";
        for (std::size_t i = 3; i < levels; ++i) {  // the path has `levels` parts
            line += "\\\\k";
        }
        return line + "\\\\last] 1\n\"Value\"=\"here\"\n";
    };
    WriteSystem(keyOfDepth(512) + keyOfDepth(513) + keyOfDepth(200000) + ProductKey("HMDX") +
                "\"AppPath\"=\"C:\\\\Host\\\\\"\n");
    WinePrefixRegistry registry(Prefix());
    std::string deepest = "k";
    for (std::size_t i = 4; i < 512; ++i) {
        deepest += "\\k";
    }
    EXPECT_EQ(Query(registry, deepest + "\\last", "Value").bytes, Nul("here"));
    EXPECT_EQ(Query(registry, deepest + "\\k\\last", "Value").result, kErrorFileNotFound);
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").bytes, Nul("C:\\Host\\"));
}

TEST_F(WineRegistryFilesTest, UserClassesGoOverMachineClasses) {
    WriteSystem(ProductKey("HMDX") + "\"AppPath\"=\"C:\\\\Machine\\\\\"\n\"ResBase\"=\"m\"\n" +
                ProductKey("QZ") + "\"AppPath\"=\"C:\\\\MachineQZ\\\\\"\n");
    WriteUser(ProductKey("HMDX") + "\"AppPath\"=\"C:\\\\User\\\\\"\n" + ProductKey("Extra") +
              "\"AppPath\"=\"C:\\\\UserOnly\\\\\"\n");
    WinePrefixRegistry registry(Prefix());
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").bytes, Nul("C:\\User\\"));
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "ResBase").bytes, Nul("m"));
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\QZ", "AppPath").bytes, Nul("C:\\MachineQZ\\"));
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\Extra", "AppPath").bytes,
              Nul("C:\\UserOnly\\"));
}

// The files are only read; the other roots exist, but the prefix presents no keys below them.
TEST_F(WineRegistryFilesTest, KeysOpenOnlyForReadingAndOnlyBelowTheClasses) {
    WriteSystem(ProductKey("HMDX"));
    WinePrefixRegistry registry(Prefix());
    RegKey key = 0;
    EXPECT_EQ(registry.OpenKey(kClassesRoot, "Software\\Tessaline\\HMDX", 0x20006, key),
              kErrorAccessDenied);  // KEY_WRITE
    EXPECT_EQ(registry.OpenKey(kClassesRoot + 2, "Software", kKeyRead, key), kErrorFileNotFound);
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(WineRegistryFilesTest, ReadsTheFilesAgainOnlyWhenTheyChanged) {
    WinePrefixRegistry registry(Prefix());
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").result,
              kErrorFileNotFound);  // no files at all yet

    WriteSystem(ProductKey("HMDX") + "\"AppPath\"=\"C:\\\\First\\\\\"\n");
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").bytes, Nul("C:\\First\\"));
    const int loads = registry.Loads();
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").bytes, Nul("C:\\First\\"));
    EXPECT_EQ(registry.Loads(), loads);

    // A key open across a change goes on reading what it saw.
    ScopedRegKey held(registry);
    ASSERT_TRUE(held.Open(kClassesRoot, "Software\\Tessaline\\HMDX"));
    WriteUser(ProductKey("HMDX") + "\"AppPath\"=\"C:\\\\Second\\\\\"\n");
    EXPECT_EQ(Query(registry, "Software\\Tessaline\\HMDX", "AppPath").bytes, Nul("C:\\Second\\"));
    EXPECT_EQ(registry.Loads(), loads + 1);
    std::uint8_t buffer[260];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof buffer;
    ASSERT_EQ(registry.QueryValue(held.Get(), "AppPath", type, buffer, size), kErrorSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), Nul("C:\\First\\"));
}

TEST_F(WineRegistryFilesTest, AMissingOrUnreadablePrefixHasNoHost) {
    {
        WinePrefixRegistry registry(dir.HostPath("no-such-prefix"));
        const HostLocator locator(registry);
        EXPECT_FALSE(locator.HostFound());
        EXPECT_EQ(registry.OpenKeyCount(), 0u);
    }
    std::filesystem::create_directories(dir.HostPath("system.reg"));  // a folder, not a file
    WinePrefixRegistry registry(Prefix());
    EXPECT_FALSE(HostLocator(registry).HostFound());
}

}  // namespace
}  // namespace kolvane::platform
