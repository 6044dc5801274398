// The registry reader on files that Wine itself wrote: a fresh prefix, values added with Wine's
// own reg.exe, read back without Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "install/host_locator.h"
#include "platform/posix/wine_prefix.h"
#include "platform/posix/wine_registry.h"
#include "support/registry_query.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

using testing::FindProgram;
using testing::Nul;
using testing::ProcessResult;
using testing::ProcessRun;
using testing::RunProcess;
using testing::TempDir;

class RealWine {
  public:
    RealWine(std::string wine, std::string wineserver, std::string prefix)
        : wine_(std::move(wine)), wineserver_(std::move(wineserver)), prefix_(std::move(prefix)) {}

    ProcessResult Wine(std::vector<std::string> args) const {
        args.insert(args.begin(), wine_);
        return Run(std::move(args));
    }
    // Waits until the prefix's wineserver has written the registry and ended.
    ProcessResult WaitForServer() const { return Run({wineserver_, "-w"}); }

  private:
    ProcessResult Run(std::vector<std::string> args) const {
        ProcessRun run;
        run.args = std::move(args);
        run.environment = {{"WINEPREFIX", prefix_},
                           {"WINEDEBUG", "-all"},
                           {"WINEDLLOVERRIDES", "mscoree,mshtml="},  // no Mono or Gecko set-up
                           {"LC_ALL", "C.UTF-8"},                    // arguments are UTF-8
                           {"DISPLAY", std::nullopt}};
        run.timeoutSeconds = 300;
        return RunProcess(run);
    }

    std::string wine_, wineserver_, prefix_;
};

TEST(WineRegistryRealTest, ReadsBackWhatWineWrote) {
    const std::optional<std::string> wine =
        FindProgram({"wine", "wine64"}, {"/usr/lib/wine/wine64", "/usr/lib/wine/wine"});
    const std::optional<std::string> wineserver =
        FindProgram({"wineserver"}, {"/usr/lib/wine/wineserver", "/usr/lib/wine/wineserver64"});
    if (!wine || !wineserver) {
        GTEST_SKIP() << "Wine is not installed (scripts/install-deps.sh installs it)";
    }
    TempDir dir;
    const RealWine real(*wine, *wineserver, dir.HostPath("prefix"));
    const ProcessResult boot = real.Wine({"wineboot", "-i"});
    ASSERT_EQ(boot.exitCode, 0) << boot.err;

    const std::string path259 = "C:\\" + std::string(255, 'h') + "\\";
    const std::string path260 = path259 + "x";
    struct Added {
        std::string key;  // below HKEY_CLASSES_ROOT, or HKCU\... for the user's classes
        std::string name;
        std::string type;
        std::string data;  // as typed on the command line (UTF-8)
    };
    const std::vector<Added> added = {
        {"HKCR\\Software\\Tessaline\\HMDX", "AppPath", "REG_SZ", "C:\\Halmdor\\Halmdor.exe"},
        {"HKCR\\Software\\Tessaline\\HMDX", "ResBase", "REG_EXPAND_SZ", "%ProgramFiles%\\Res"},
        {"HKCR\\Software\\Tessaline\\HMDX", "Multi", "REG_MULTI_SZ", "one\\0two"},
        {"HKCR\\Software\\Tessaline\\HMDX", "Number", "REG_DWORD", "305419896"},
        {"HKCR\\Software\\Tessaline\\HMDX", "Umlaut", "REG_SZ",
         "C:\\Br\xC3\xBC"
         "cke\\\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xE2\x82\xAC\\ab\\x"},
        {"HKCR\\Software\\Tessaline\\HMDX", "Path259", "REG_SZ", path259},
        {"HKCR\\Software\\Tessaline\\HMDX", "Path260", "REG_SZ", path260},
        {"HKCR\\Software\\Tessaline\\QZ", "AppPath", "REG_SZ", "D:\\Machine\\"},
        {"HKCU\\Software\\Classes\\Software\\Tessaline\\QZ", "AppPath", "REG_SZ", "D:\\User\\"},
    };
    for (const Added& value : added) {
        SCOPED_TRACE(value.name);
        const ProcessResult result = real.Wine(
            {"reg", "add", value.key, "/v", value.name, "/t", value.type, "/d", value.data, "/f"});
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    }
    ASSERT_EQ(real.WaitForServer().exitCode, 0);

    WinePrefixRegistry registry(dir.HostPath("prefix"));
    struct Expected {
        std::string key;
        std::string name;
        RegResult result;
        std::uint32_t type;
        std::string bytes;
    };
    const std::vector<Expected> expected = {
        {"Software\\Tessaline\\HMDX", "AppPath", kErrorSuccess, kRegSz,
         Nul("C:\\Halmdor\\Halmdor.exe")},
        {"Software\\Tessaline\\HMDX", "ResBase", kErrorSuccess, kRegExpandSz,
         Nul("%ProgramFiles%\\Res")},
        {"Software\\Tessaline\\HMDX", "Multi", kErrorSuccess, kRegMultiSz,
         Nul(Nul(Nul("one") + "two"))},
        {"Software\\Tessaline\\HMDX", "Number", kErrorSuccess, kRegDword,
         std::string("\x78\x56\x34\x12", 4)},
        {"Software\\Tessaline\\HMDX", "Umlaut", kErrorSuccess, kRegSz,
         Nul("C:\\Br\xFC"
             "cke\\\xE4\xF6\xFC\xDF\x80\\ab\\x")},
        {"Software\\Tessaline\\HMDX", "Path259", kErrorSuccess, kRegSz, Nul(path259)},
        {"Software\\Tessaline\\HMDX", "Path260", kErrorMoreData, kRegSz, ""},
        {"Software\\Tessaline\\QZ", "AppPath", kErrorSuccess, kRegSz, Nul("D:\\User\\")},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const testing::Queried queried = testing::Query(registry, e.key, e.name);
        EXPECT_EQ(queried.result, e.result);
        EXPECT_EQ(queried.type, e.type);
        EXPECT_EQ(queried.bytes, e.bytes);
    }
    const HostLocator locator(registry);
    EXPECT_EQ(locator.HostPath(), "C:\\Halmdor\\");
    EXPECT_EQ(registry.OpenKeyCount(), 0u);

    // The drives wineboot linked: C: is the prefix's drive_c, Z: the file system's root.
    const DriveMap drives = ReadDriveMap(dir.HostPath("prefix"));
    const std::string driveC = std::filesystem::canonical(dir.HostPath("prefix/drive_c")).string();
    EXPECT_EQ(drives.ToNativePath("C:\\windows"), driveC + "/windows");
    EXPECT_EQ(drives.ToWindowsPath(driveC + "/windows"), "C:\\windows");
    EXPECT_EQ(drives.ToNativePath("Z:\\usr"), "/usr");
}

}  // namespace
}  // namespace kolvane::platform
