// The native programs as a user installs them: `cmake --install` into a folder of its own, then
// the installed kolvane run in a downloaded package folder, the host's prefix found without
// WINEPREFIX in a home directory of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "native_program_fixture.h"

namespace kolvane::testing {
namespace {

namespace fs = std::filesystem;

class InstalledProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ProcessRun install;
        install.args = {KOLVANE_CMAKE, "--install", KOLVANE_BUILD_DIR, "--prefix",
                        dir.HostPath("usr")};
        const ProcessResult installed = RunProcess(install);
        ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;
        dir.Write("Downloads/Paket/Modell.mdl", "model\r\n");
        dir.Write("Downloads/Paket/InstSkript.txt",
                  "Dateinstallation\r\n{\r\n\t{Modell.mdl>>Modelle\\Modell.mdl}\r\n}\r\n"
                  "Texturskript\r\n{\r\n}\r\n");
    }

    // A prefix in the home directory whose registry names a host on its drive C:.
    std::string HostPrefix(const std::string& relative) const {
        const std::string prefix = "home/" + relative;
        fs::create_directories(dir.HostPath(prefix + "/dosdevices"));
        fs::create_symlink("../drive_c", dir.HostPath(prefix + "/dosdevices/c:"));
        dir.Write(prefix + "/drive_c/Halmdor/Resources/Rezazerad/Texturen.txt",
                  "Texturen{\r\n\t\t}\r\n");
        dir.Write(prefix + "/system.reg",
                  std::string(kRegistryHeader) +
                      ProductValue("HMDX", "AppPath", "C:\\Halmdor\\Halmdor.exe") +
                      "\"ResBase\"=\"C:\\\\Halmdor\\\\Resources\"\n");
        return dir.HostPath(prefix);
    }

    ProcessResult Run(const std::string& program, std::vector<std::string> arguments = {}) const {
        ProcessRun run;
        run.args = {dir.HostPath("usr/bin/" + program)};
        run.args.insert(run.args.end(), arguments.begin(), arguments.end());
        run.environment = {{"WINEPREFIX", std::nullopt},
                           {"HOME", dir.HostPath("home")},
                           {"LANG", "C.UTF-8"},
                           {"LC_ALL", std::nullopt},
                           {"LC_MESSAGES", std::nullopt}};
        run.input = "i\n";
        run.directory = dir.HostPath("Downloads/Paket");
        run.timeoutSeconds = 60;
        return RunProcess(run);
    }

    TempDir dir;
};

TEST_F(InstalledProgramTest, RunInAPackageFolderItFindsTheHostsPrefixAndInstalls) {
    for (const char* file :
         {"usr/bin/kolvane", "usr/bin/kolvane-check", "usr/share/man/man1/kolvane.1.gz",
          "usr/share/man/man1/kolvane-check.1.gz"}) {
        EXPECT_TRUE(dir.Exists(file)) << file;
    }
    const std::string bottle = HostPrefix(".local/share/bottles/bottles/Halmdor");
    const std::string found = " (found; set WINEPREFIX for another)\n";

    const ProcessResult checked = Run("kolvane-check", {"--host"});
    EXPECT_EQ(checked.err, "kolvane-check: Wine prefix " + bottle + found);
    EXPECT_NE(checked.out.find("Dry run against the host in C:\\Halmdor\\:\n"), std::string::npos)
        << checked.out;

    const ProcessResult result = Run("kolvane");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "kolvane: Wine prefix " + bottle + found);
    EXPECT_NE(result.out.find("(i) Installation successful!"), std::string::npos) << result.out;
    EXPECT_EQ(dir.Read("home/.local/share/bottles/bottles/Halmdor/drive_c/Halmdor/Modelle/"
                       "Modell.mdl"),
              "model\r\n");
}

TEST_F(InstalledProgramTest, SeveralPrefixesOrNoneFromAPipeMeanNoHost) {
    const ProcessResult none = Run("kolvane");
    EXPECT_EQ(none.exitCode, 0);  // the end of input quits
    EXPECT_NE(none.out.find(kNoHostEnglish), std::string::npos) << none.out;
    EXPECT_NE(none.err.find("Searched:\n  " + dir.HostPath("home/.wine") + "\n"), std::string::npos)
        << none.err;

    const std::string steam = HostPrefix(".steam/steam/steamapps/compatdata/2000/pfx");
    const std::string pol = HostPrefix(".PlayOnLinux/wineprefix/Halmdor");
    const ProcessResult several = Run("kolvane");
    EXPECT_EQ(several.exitCode, 0);
    EXPECT_NE(several.out.find(kNoHostEnglish), std::string::npos) << several.out;
    EXPECT_EQ(
        several.err,
        "kolvane: Several Wine prefixes hold Halmdor, Pellimar 2 or Brannock; name the one to use "
        "in WINEPREFIX:\n"
        "  " +
            pol + "\n  " + steam + "\n");
    EXPECT_FALSE(dir.Exists("home/.PlayOnLinux/wineprefix/Halmdor/drive_c/Halmdor/Modelle"));
}

}  // namespace
}  // namespace kolvane::testing
