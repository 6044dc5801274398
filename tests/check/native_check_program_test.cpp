// build/native/kolvane-check end to end: a package folder and a Wine-style prefix whose registry
// names the host, as the native installer finds it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace kolvane::testing {
namespace {

namespace fs = std::filesystem;

// Every file and folder below `root` with its bytes, time and permissions.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        std::string state =
            std::to_string(fs::last_write_time(item.path()).time_since_epoch().count()) + " " +
            std::to_string(static_cast<int>(item.status().permissions()));
        if (item.is_regular_file()) {
            std::ifstream file(item.path(), std::ios::binary);
            state += " " + std::string(std::istreambuf_iterator<char>(file), {});
        }
        tree[fs::relative(item.path(), root).generic_string()] = state;
    }
    return tree;
}

class NativeCheckProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir.HostPath("prefix/dosdevices"));
        fs::create_symlink("../drive_c", dir.HostPath("prefix/dosdevices/c:"));
        fs::create_symlink("/", dir.HostPath("prefix/dosdevices/z:"));
        dir.Write("prefix/system.reg",
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                  "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1700000000\n"
                  "\"AppPath\"=\"C:\\\\Halmdor\\\\Halmdor.exe\"\n"
                  "\"ResBase\"=\"C:\\\\Halmdor\\\\Resources\"\n");
        dir.Write("prefix/drive_c/Halmdor/Resources/Rezazerad/Texturen.txt",
                  "Texturen{\r\n\t\tTextur{\tid(1)\t}\r\n\t\t}\r\n");
        dir.Write("prefix/drive_c/Halmdor/Modelle/Alt.mdl", "present");
        dir.Write("pkg/Modell.mdl", "model");
        dir.Write("pkg/InstSkript.txt",
                  "Dateinstallation\r\n{\r\n\t{Modell.mdl>>Modelle\\Neu\\Modell.mdl}\r\n"
                  "\t{Modell.mdl>>Modelle\\Alt.mdl}\r\n}\r\n"
                  "Texturskript\r\n{\r\n\t{2>>Textur{id(2)}}\r\n}\r\n");
    }

    ProcessResult Run(std::vector<std::string> arguments) const {
        ProcessRun run;
        run.args = {KOLVANE_CHECK_PROGRAM};
        run.args.insert(run.args.end(), arguments.begin(), arguments.end());
        run.environment = {{"WINEPREFIX", dir.HostPath("prefix")}, {"HOME", dir.Path()}};
        run.directory = dir.HostPath("pkg");
        run.timeoutSeconds = 60;
        return RunProcess(run);
    }

    TempDir dir;
};

TEST_F(NativeCheckProgramTest, DryRunAgainstTheHostOfThePrefixWritesNothing) {
    const auto before = Snapshot(dir.Path());
    const ProcessResult result = Run({"--host"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.err,
              "kolvane-check: Wine prefix " + dir.HostPath("prefix") + " (WINEPREFIX)\n");
    EXPECT_EQ(result.out,
              "Dry run against the host in C:\\Halmdor\\:\n"
              "  line 3: create   C:\\Halmdor\\Modelle\\Neu\\Modell.mdl (creates "
              "C:\\Halmdor\\Modelle\\Neu)\n"
              "  line 4: replace  C:\\Halmdor\\Modelle\\Alt.mdl (the present file is not newer)\n"
              "  line 8: add      id(2) (after the entry with id(1))\n"
              "The installation would end with: \"Installation successful!\"\n"
              "No findings.\n");
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

TEST_F(NativeCheckProgramTest, ExitCodesForAScriptWithFaultsAndForNoFolder) {
    dir.Write("pkg/InstSkript.txt", "Dateinstallation{{Fehlt.mdl>>Fehlt.mdl}}Texturskript{}");
    ProcessResult result = Run({"."});
    EXPECT_EQ(result.exitCode, 2) << result.out;
    EXPECT_NE(result.out.find(":1: error: the source \"Fehlt.mdl\""), std::string::npos)
        << result.out;

    result = Run({dir.HostPath("nowhere")});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("is not a folder"), std::string::npos) << result.err;
}

// Names from the file system reach standard error with their control characters and invalid
// bytes escaped, as names from the package and the registry do.
TEST_F(NativeCheckProgramTest, OddBytesInPathsAreShownEscaped) {
    const std::string odd =
        "odd\xC2\x9B"
        "2J\xFF";
    fs::rename(dir.HostPath("prefix"), dir.HostPath(odd));
    ProcessRun run;
    run.args = {KOLVANE_CHECK_PROGRAM, "--host", dir.HostPath(odd + "/nowhere")};
    run.environment = {{"WINEPREFIX", dir.HostPath(odd)}, {"HOME", dir.Path()}};
    const ProcessResult result = RunProcess(run);
    EXPECT_EQ(result.exitCode, 3);
    const std::string shown = dir.Path() + "/odd\\xc2\\x9b2J\\xff";
    EXPECT_EQ(result.err, "kolvane-check: Wine prefix " + shown + " (WINEPREFIX)\nkolvane-check: " +
                              shown + "/nowhere is not a folder that can be checked\n");
}

// A FIFO in the place of a file that the check reads ends the check at once: no registry file,
// no script, no catalogue waits for a writer.
TEST_F(NativeCheckProgramTest, AFifoInThePlaceOfAFileIsNoFile) {
    struct Case {
        std::string path;
        std::string finding;
    };
    const Case cases[] = {
        {"prefix/system.reg", "[host-missing]"},
        {"prefix/user.reg", "[host-missing]"},
        {"pkg/InstSkript.txt", "[script-missing]"},
        {"prefix/drive_c/Halmdor/Resources/Rezazerad/Texturen.txt", "[catalog-missing]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string path = dir.HostPath(c.path);
        const bool existed = fs::exists(path);
        std::ifstream file(path, std::ios::binary);
        const std::string contents(std::istreambuf_iterator<char>(file), {});
        file.close();
        fs::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        const ProcessResult result = Run({"--host"});
        fs::remove(path);
        if (existed) {
            dir.Write(c.path, contents);
        }
        EXPECT_FALSE(result.timedOut);
        EXPECT_NE(result.out.find(c.finding), std::string::npos) << result.out;
    }
}

}  // namespace
}  // namespace kolvane::testing
