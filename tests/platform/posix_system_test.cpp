#include "platform/posix/posix_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/wine_prefix.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(LanguageOfLocaleTest, GermanInAnyRegionElseEnglish) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        std::uint16_t language;
    };
    const Case cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", kLanguageGerman},
        {nullptr, nullptr, "de_AT", kLanguageGerman},
        {nullptr, nullptr, "de_CH.ISO-8859-1@euro", kLanguageGerman},
        {nullptr, nullptr, "de", kLanguageGerman},
        {nullptr, "de_LU.UTF-8", "en_US.UTF-8", kLanguageGerman},
        {"de_LI.UTF-8", "en_GB", "fr_FR", kLanguageGerman},
        {"C", nullptr, "de_DE.UTF-8", kLanguageEnglish},  // the first that is set decides
        {"", "", "de_DE.UTF-8", kLanguageGerman},         // empty counts as not set
        {nullptr, nullptr, "fr_FR.UTF-8", kLanguageEnglish},
        {nullptr, nullptr, "dsb_DE.UTF-8", kLanguageEnglish},  // Lower Sorbian, not German
        {nullptr, nullptr, "POSIX", kLanguageEnglish},
        {nullptr, nullptr, nullptr, kLanguageEnglish},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "-") + " " +
                     (c.lcMessages ? c.lcMessages : "-") + " " + (c.lang ? c.lang : "-"));
        EXPECT_EQ(LanguageOfLocale(c.lcAll, c.lcMessages, c.lang), c.language);
    }
}

TEST(WinePrefixTest, PrefixFromWineprefixElseHome) {
    EXPECT_EQ(WinePrefixDirectory("/srv/pfx", "/home/u"), "/srv/pfx");
    EXPECT_EQ(WinePrefixDirectory("", "/home/u"), "/home/u/.wine");
    EXPECT_EQ(WinePrefixDirectory(nullptr, "/home/u/"), "/home/u/.wine");
    EXPECT_EQ(WinePrefixDirectory(nullptr, "/"), "/.wine");
    EXPECT_FALSE(WinePrefixDirectory(nullptr, nullptr).empty());
}

TEST(WinePrefixTest, DrivesComeFromTheDosdevicesLinks) {
    TempDir dir;
    fs::create_directories(dir.HostPath("pfx/dosdevices"));
    fs::create_directories(dir.HostPath("pfx/drive_c"));
    fs::create_directories(dir.HostPath("data"));
    fs::create_symlink("../drive_c", dir.HostPath("pfx/dosdevices/c:"));
    fs::create_symlink(dir.HostPath("data"), dir.HostPath("pfx/dosdevices/D:"));
    fs::create_symlink("/", dir.HostPath("pfx/dosdevices/z:"));
    fs::create_symlink("../gone", dir.HostPath("pfx/dosdevices/e:"));
    fs::create_symlink("/dev/sda1", dir.HostPath("pfx/dosdevices/c::"));
    fs::create_symlink("/dev/ttyS0", dir.HostPath("pfx/dosdevices/com1"));

    const DriveMap drives = ReadDriveMap(dir.HostPath("pfx"));
    const std::string real = fs::canonical(dir.Path()).string();
    const std::map<char, std::string> expected = {
        {'c', real + "/pfx/drive_c"},
        {'d', real + "/data"},
        {'e', dir.HostPath("pfx/gone")},  // dangling: where it would lead
        {'z', "/"},
    };
    EXPECT_EQ(drives.Roots(), expected);
    EXPECT_TRUE(ReadDriveMap(dir.HostPath("no-prefix")).Empty());
}

TEST(WinePrefixTest, SomeDriveAlwaysCoversTheFileSystem) {
    DriveMap none;
    EXPECT_EQ(CoverFileSystemRoot(none), 'z');
    EXPECT_EQ(none.ToWindowsPath("/tmp/pkg"), "Z:\\tmp\\pkg");

    DriveMap zElsewhere;
    zElsewhere.Assign('z', "/home");
    EXPECT_EQ(CoverFileSystemRoot(zElsewhere), 'y');
    EXPECT_EQ(zElsewhere.ToWindowsPath("/home/u"), "Z:\\u");
    EXPECT_EQ(zElsewhere.ToWindowsPath("/tmp"), "Y:\\tmp");

    DriveMap already;
    already.Assign('q', "/");
    EXPECT_EQ(CoverFileSystemRoot(already), 'q');
    EXPECT_EQ(already.Roots().size(), 1u);
}

TEST(PosixSystemTest, NamesNativePathsInWindowsFormAndCodePage) {
    DriveMap drives;
    drives.Assign('c', "/p/drive_c");
    drives.Assign('z', "/");
    EXPECT_EQ(WindowsPathOf("/p/drive_c/Pakete/Br\xC3\xBC"
                            "cke/kolvane",
                            drives),
              "C:\\Pakete\\Br\xFC"
              "cke\\kolvane");
    EXPECT_EQ(WindowsPathOf("/tmp/\xE2\x82\xAC/x", drives), "Z:\\tmp\\\x80\\x");
    DriveMap onlyC;
    onlyC.Assign('c', "/p/drive_c");
    EXPECT_EQ(WindowsPathOf("/tmp/x", onlyC), "");
}

TEST(PosixSystemTest, ModuleFileNameIsThisProgramOnItsDrive) {
    DriveMap drives;
    drives.Assign('z', "/");
    PosixSystem system(drives);
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::string expected = "Z:";
    for (char c : self) {
        expected += c == '/' ? '\\' : c;
    }
    EXPECT_EQ(system.ModuleFileName(), expected);
}

}  // namespace
}  // namespace kolvane::platform
