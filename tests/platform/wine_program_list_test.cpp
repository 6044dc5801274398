// The list of installed programs in a Wine prefix's user.reg, written as Wine writes it: what
// Wine's own reader (here the program's, which reads as Wine does) finds there, and every other
// line of the file left as it was.
#include "platform/posix/wine_program_list.h"

#include <gtest/gtest.h>

#include "names/letter_case.h"
#include "names/windows_text.h"
#include "platform/posix/wine_registry.h"

namespace kolvane::platform {
namespace {

constexpr FileTime kNow = 133780000000000000;  // 2024-12-08, 100-ns steps since 1601

const std::string kOther =
    "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Kolvane ffffffff "
    "record-1] 1600000000\n#time=1d68e0c00000000\n\"DisplayName\"=\"another host\"\n";
const std::string kBefore =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
    "#arch=win64\n\n[Control Panel\\\\Desktop] 1600000000\n#time=1d68e0c00000000\n"
    "\"Wallpaper\"=\"\"\n" +
    kOther +
    "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Kolvane 0a0b0c0d "
    "record-stale] 1600000000\n#time=1d68e0c00000000\n\"DisplayName\"=\"gone\"\n"
    "\n[Software\\\\Wine\\\\X11 Driver] 1600000000\n#time=1d68e0c00000000\n"
    "\"Managed\"=\"N\"\n";

ProgramEntry Entry(const std::string& key, const std::string& name) {
    return {key,
            {{"UninstallString", kRegSz, "\"C:\\Halmdor\\Kolvane\\KolvaneRemove.exe\" \"x\"", 0},
             {"DisplayName", kRegSz, name, 0},
             {"NoModify", kRegDword, "", 1}}};
}

const RegistryNode* ListIn(const std::string& text, RegistryNode& root) {
    return MergeWineRegistryText(text, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                 root)
               ? &root
               : nullptr;
}

std::u16string Folded(const std::string& windows1252) {
    return names::FoldCase(names::Windows1252ToUtf16(windows1252));
}

TEST(WineProgramListTest, EntriesOfOnePrefixAreReplacedAndEveryOtherLineStays) {
    const std::string name =
        "Paket \"\xC4\" 2 \\ \xC4"
        "a (C:\\Halmdor)";
    const std::string text = UpdateWineProgramList(
        kBefore, "Kolvane 0a0b0c0d ",
        {Entry("Kolvane 0a0b0c0d record-b", name), Entry("Kolvane 0a0b0c0d record-a", "A")}, kNow);

    RegistryNode root;
    ASSERT_NE(ListIn(text, root), nullptr);
    EXPECT_EQ(root.subkeys.size(), 3u) << "the other host's entry and the two new ones";
    EXPECT_EQ(root.Subkey(Folded("Kolvane 0a0b0c0d record-stale")), nullptr);
    const RegistryNode* b = root.Subkey(Folded("Kolvane 0a0b0c0d record-b"));
    ASSERT_NE(b, nullptr);
    const std::u16string shown = names::Windows1252ToUtf16(name) + u'\0';
    EXPECT_EQ(b->Value(u"displayname")->data,
              std::string(reinterpret_cast<const char*>(shown.data()), shown.size() * 2));
    EXPECT_EQ(b->Value(u"nomodify")->type, kRegDword);
    EXPECT_EQ(b->Value(u"nomodify")->data, std::string("\1\0\0\0", 4));

    // Wine's layout: key line with seconds since 1970 and #time, values by name, Wine's escapes,
    // the keys in Wine's order (by the names' letters, case aside), the rest untouched.
    const std::string expected =
        kBefore.substr(0, kBefore.find("\n[Software\\\\Microsoft")) +
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Kolvane 0a0b0c0d "
        "record-a] 1733526400\n#time=1db4833820d4000\n\"DisplayName\"=\"A\"\n"
        "\"NoModify\"=dword:00000001\n"
        "\"UninstallString\"=\"\\\"C:\\\\Halmdor\\\\Kolvane\\\\KolvaneRemove.exe\\\" \\\"x\\\"\"\n"
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Kolvane 0a0b0c0d "
        "record-b] 1733526400\n#time=1db4833820d4000\n"
        "\"DisplayName\"=\"Paket \\\"\\xc4\\\" 2 \\\\ \\x00c4a (C:\\\\Halmdor)\"\n"
        "\"NoModify\"=dword:00000001\n"
        "\"UninstallString\"=\"\\\"C:\\\\Halmdor\\\\Kolvane\\\\KolvaneRemove.exe\\\" "
        "\\\"x\\\"\"\n" +
        kOther + kBefore.substr(kBefore.find("\n[Software\\\\Wine"));
    EXPECT_EQ(text, expected);

    EXPECT_EQ(UpdateWineProgramList(text, "Kolvane 0a0b0c0d ", {}, kNow),
              kBefore.substr(0, kBefore.find("\n[Software\\\\Microsoft")) + kOther +
                  kBefore.substr(kBefore.find("\n[Software\\\\Wine")))
        << "removed again, nothing else changes";
}

TEST(WineProgramListTest, AMissingFileGetsWinesHeader) {
    const std::string text =
        UpdateWineProgramList("", "Kolvane 0a0b0c0d ", {Entry("Kolvane 0a0b0c0d r", "A")}, kNow);
    EXPECT_EQ(text.rfind("WINE REGISTRY Version 2\n", 0), 0u);
    RegistryNode root;
    ASSERT_NE(ListIn(text, root), nullptr);
    EXPECT_NE(root.Subkey(Folded("Kolvane 0a0b0c0d r")), nullptr);
}

}  // namespace
}  // namespace kolvane::platform
