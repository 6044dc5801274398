// The rules for Windows names: letter case, the code page, paths and what stays inside a folder.
#include <gtest/gtest.h>

#include "names/contained_path.h"
#include "names/letter_case.h"
#include "names/windows_path.h"
#include "names/windows_text.h"

namespace kolvane::names {
namespace {

using Names = std::pair<const char*, const char*>;

// The capital of each Windows-1252 byte: Latin-1 without the signs × and ÷, then š œ ž ÿ.
int CapitalOf(int byte) {
    struct Run {
        int firstSmall, lastSmall, toCapital;
    };
    constexpr Run kPairs[] = {{'a', 'z', -0x20},   {0xE0, 0xF6, -0x20}, {0xF8, 0xFE, -0x20},
                              {0x9A, 0x9A, -0x10}, {0x9C, 0x9C, -0x10}, {0x9E, 0x9E, -0x10},
                              {0xFF, 0xFF, -0x60}};
    for (const Run& run : kPairs) {
        if (byte >= run.firstSmall && byte <= run.lastSmall) {
            return byte + run.toCapital;
        }
    }
    return byte;
}

TEST(LetterCaseTest, EveryCasePairOfWindows1252FoldsTogetherAndNothingElseDoes) {
    std::string wrong;
    for (int a = 0; a < 256; ++a) {
        if (static_cast<unsigned char>(FoldCase(static_cast<char>(a))) != CapitalOf(a)) {
            wrong += "fold of " + std::to_string(a) + "; ";
        }
        // The same answer from each form a name takes: bytes, UTF-8 on disk, UTF-16.
        for (int b = 1; a > 0 && b < 256; ++b) {
            const bool same = CapitalOf(a) == CapitalOf(b);
            const std::string x(1, static_cast<char>(a));
            const std::string y(1, static_cast<char>(b));
            if (EqualsIgnoringCase(x, y) != same ||
                Utf8EqualsIgnoringCase(Windows1252ToUtf8(x), Windows1252ToUtf8(y)) != same ||
                (FoldCase(Windows1252ToUtf16(x)) == FoldCase(Windows1252ToUtf16(y))) != same) {
                wrong += std::to_string(a) + "/" + std::to_string(b) + "; ";
            }
        }
    }
    EXPECT_EQ(wrong, "");
}

TEST(LetterCaseTest, NamesBeyondTheCodePageFoldAsWindowsFoldsThem) {
    // Pairs whose capital or small form lies outside the code page (Ƒ ƒ, Σ σ, Ж ж, Ё ё); bytes
    // that are no UTF-8 match only themselves.
    const Names same[] = {{"\xC6\x91", "\xC6\x92"},
                          {"\xCE\xA3\xD0\x96\xD0\x81", "\xCF\x83\xD0\xB6\xD1\x91"},
                          {"\xFC", "\xFC"},
                          {"\xED\xA0\x80", "\xED\xA0\x80"}};
    // Dotted İ and dotless ı are no pair and no case of I or i; ſ, µ and ß have no capital.
    const Names different[] = {
        {"\xC4\xB0", "\xC4\xB1"}, {"\xC4\xB0", "i"},  {"\xC4\xB1", "I"}, {"\xC5\xBF", "s"},
        {"\xC2\xB5", "\xCE\x9C"}, {"\xC3\x9F", "SS"}, {"\xFC", "\xDC"},  {"\xC3", "\xC3\xBC"}};
    for (const auto& [a, b] : same) {
        EXPECT_TRUE(Utf8EqualsIgnoringCase(a, b) && Utf8EqualsIgnoringCase(b, a)) << a << " " << b;
    }
    for (const auto& [a, b] : different) {
        EXPECT_FALSE(Utf8EqualsIgnoringCase(a, b) || Utf8EqualsIgnoringCase(b, a)) << a << " " << b;
    }
    EXPECT_EQ(FoldCase(std::u16string(u"Software\\Tessaline")), u"SOFTWARE\\TESSALINE");
    EXPECT_NE(FoldCase(std::u16string(u"\u0130")), FoldCase(std::u16string(u"\u0131")));
    // Names of different lengths are told apart undecoded: both forms take as many bytes.
    const auto length = [](char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; };
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        ASSERT_EQ(length(UpperCase(static_cast<char16_t>(c))), length(c)) << unsigned{c};
    }
}

TEST(WindowsTextTest, ConvertsEveryByteBothWaysAndDecodesUtf8AsWindowsDoes) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
        EXPECT_EQ(Utf16ToWindows1252(Windows1252ToUtf16(static_cast<unsigned char>(byte))), byte);
    }
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
    EXPECT_EQ(Windows1252ToUtf8("a\x80\x8A\x9F\xA0\xFF\x81"),
              "a\xE2\x82\xAC\xC5\xA0\xC5\xB8\xC2\xA0\xC3\xBF\xC2\x81");  // 0x81 is unassigned

    struct Case {
        std::string utf8;
        std::optional<char32_t> decoded;
        std::size_t length;   // how far the decoder moves
        const char* windows;  // the whole text in the code page
    };
    const Case cases[] = {{"A", U'A', 1, "A"},
                          {"\xC3\xBC", 0xFC, 2, "\xFC"},
                          {"\xEF\xBF\xBF", 0xFFFF, 3, "?"},
                          {"\xF0\x9F\x98\x80", 0x1F600, 4, "?"},
                          {"\xED\xA0\x80", std::nullopt, 1, "???"},       // a surrogate
                          {"\xC0\xAF", std::nullopt, 1, "??"},            // overlong
                          {"\xF4\x90\x80\x80", std::nullopt, 1, "????"},  // beyond U+10FFFF
                          {"\xC3(", std::nullopt, 1, "?("},               // cut short
                          {"\xFF", std::nullopt, 1, "?"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        std::size_t pos = 0;
        EXPECT_EQ(DecodeUtf8(c.utf8, pos), c.decoded);
        EXPECT_EQ(pos, c.length);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.windows);
    }
    std::u16string utf16;
    AppendUtf16(utf16, 0x1F600);
    EXPECT_EQ(utf16, u"\U0001F600");
}

TEST(WindowsPathTest, SplitsAbsolutePathsWithoutLookingAtTheDisk) {
    struct Case {
        const char* path;
        char drive;
        std::vector<std::string> components;
        bool trailing;
    };
    const Case cases[] = {{"C:\\Host\\File.dat", 'C', {"Host", "File.dat"}, false},
                          {"z:/tmp//x\\", 'z', {"tmp", "x"}, true},
                          {"C:\\t\\h\\..\\..\\x.dat", 'C', {"x.dat"}, false},
                          {"C:\\..\\..\\x.dat", 'C', {"x.dat"}, false},
                          {"C:\\a\\.\\b\\.", 'C', {"a", "b"}, false},
                          {"C:\\a\\...\\b", 'C', {"a", "...", "b"}, false},
                          {"C:", 'C', {}, false},
                          {"C:\\", 'C', {}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::optional<WindowsPathParts> parts = SplitWindowsPath(c.path);
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->drive, c.drive);
        EXPECT_EQ(parts->components, c.components);
        EXPECT_EQ(parts->trailingSeparator, c.trailing);
    }
    for (const std::string& path :
         std::vector<std::string>{"C:relative", "\\\\server\\share\\x", "\\x", "relative\\x", "",
                                  "1:\\x", std::string("C:\\a\0b", 6)}) {
        EXPECT_EQ(SplitWindowsPath(path), std::nullopt) << path;
    }
}

TEST(WindowsPathTest, PathsWithTheSameKeyNameTheSameFile) {
    const Names same[] = {{"C:\\Host\\\x8A.dat", "c:/HOST/\x9A.DAT"},
                          {"C:\\a\\..\\b\\.\\c", "C:\\B\\\\C\\"},
                          {"C:\\..\\x", "C:\\x"},
                          {"Sub\\..\\..\\\xC4.dat", "\xE4.dat"}};
    const Names different[] = {{"C:\\a", "D:\\a"}, {"C:\\a", "a"}, {"\xDF", "SS"}};
    for (const auto& [a, b] : same) {
        EXPECT_EQ(PathKey(a), PathKey(b)) << a << " " << b;
    }
    for (const auto& [a, b] : different) {
        EXPECT_NE(PathKey(a), PathKey(b)) << a << " " << b;
    }
    EXPECT_EQ(DirectoryPart("C:\\a/b.dat"), "C:\\a");
    EXPECT_EQ(DirectoryPart("b.dat"), "b.dat");
}

TEST(WindowsPathTest, LongPathsAreShownWithBothEndsAndAnEllipsis) {
    const auto times = [](std::string_view part, std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            text += part;
        }
        return text;
    };
    const std::string limit = "C:\\" + std::string(kShownPathLimit - 3, 'a');
    const std::string folders = "C:\\Halmdor\\" + times("Ordner\\", 50) + "Modelle\\Lok.mdl";
    const std::string longName = "C:\\Halmdor\\Modelle\\" + std::string(4000, 'x') + ".mdl";
    const std::string separators = "C:\\HMD\\Host.exe\\y" + std::string(60000, '\\');
    const std::string noSeparator = "C:" + std::string(40000, 'a');
    struct Case {
        std::string path;
        std::string head;  // what stands before the ellipsis; the whole path when kept
        std::string tail;  // what follows it
    };
    const Case cases[] = {
        {"C:\\Halmdor\\x.mdl", "C:\\Halmdor\\x.mdl", ""},
        {limit, limit, ""},
        // Cut at separators near the third of the room and the rest, else within a name.
        {folders, "C:\\Halmdor\\" + times("Ordner\\", 10), folders.substr(folders.size() - 170)},
        {longName, longName.substr(0, 85), longName.substr(longName.size() - 172)},
        {separators, separators.substr(0, 85), std::string(172, '\\')},
        {noSeparator, noSeparator.substr(0, 85), std::string(172, 'a')},
        {limit + "b", limit.substr(0, 85), limit.substr(limit.size() - 171) + "b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 40));
        const std::string shown = ShownPath(c.path);
        EXPECT_EQ(shown, c.tail.empty() ? c.head : c.head + "..." + c.tail);
        EXPECT_LE(shown.size(), kShownPathLimit);
    }
    EXPECT_TRUE(folders.substr(folders.size() - 170).starts_with("\\Ordner\\"));
}

TEST(ContainedPathTest, TellsPathsThatStayInsideTheirBaseFromPathsThatLeave) {
    struct Group {
        bool inside;
        std::vector<std::string_view> paths;
    };
    const Group groups[] = {
        // Plain paths, ".." that stays inside, and dots within names.
        {true, {"File.dat", "Sub\\Deeper\\File.dat", "", "Sub\\..\\File.dat", "Sub\\.."}},
        {true, {"A\\B\\..\\..\\C\\File.dat", ".\\File.dat", "Sub\\\\File.dat", "Sub\\", "b>>c"}},
        {true, {"..File.dat", "File..dat", ".hidden", "Br\xFC.dat"}},
        // Names that only look like devices.
        {true, {"CONSOLE", "COM0", "COM10", "LPT", "NULL.dat", "AUXILIARY", "Sub.CON", "xCOM1"}},
        // ".." above the base, with either separator.
        {false, {"..", "..\\File.dat", "../File.dat", "Sub\\..\\..\\File.dat", "Sub/../../x"}},
        {false, {"A\\..\\B\\..\\..\\C", ".\\..\\File.dat", "Sub\\..\\.."}},
        // Components of dots and blanks alone, other than "." and "..".
        {false, {"...", "Sub\\...\\File.dat", "Sub\\.. "}},
        // Drives, streams and roots.
        {false, {"C:\\Windows\\x.dll", "C:x.dll", "File.dat:stream", "File.dat::$DATA"}},
        {false, {"\\Windows\\x.dll", "/etc/passwd", "\\\\server\\share\\x", "\\\\?\\C:\\x"}},
        {false, {"//server/share/x.dll"}},
        // Devices in any case, with or without an extension, anywhere in the path.
        {false, {"CON", "con.txt", "Sub\\prn", "Aux.dat\\x", "NUL", "nul.tar.gz", "COM1"}},
        {false, {"com9.log", "LPT1", "Sub\\lpt9.txt", "COM\xB9", "lpt\xB3.dat", "CONIN$"}},
        {false, {"conout$.txt", "CON .txt"}},
        // A NUL byte, at which Windows would end the path.
        {false, {std::string_view("File.dat\0..\\..\\x", 16)}},
    };
    for (const Group& group : groups) {
        for (const std::string_view path : group.paths) {
            EXPECT_EQ(StaysInsideBase(path), group.inside) << path;
        }
    }
}

}  // namespace
}  // namespace kolvane::names
