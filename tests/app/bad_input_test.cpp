// Bad input on purpose, through the whole native program: every case ends with the program's own
// messages and exit codes, never a crash or a hang, writes nothing outside the host and the
// package, and loses no host file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "native_program_fixture.h"

namespace kolvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHost = "prefix/drive_c/Halmdor";
const std::string kSucceeded = "(i) Installation successful!\n";
const std::string kFailed = "(!) Error during installation process.\n";

// Every regular file below the test's folder with its contents and last-write time.
struct FileState {
    std::string contents;
    fs::file_time_type written;
    bool operator==(const FileState&) const = default;
};
using Snapshot = std::map<std::string, FileState>;

Snapshot Take(const TempDir& dir) {
    Snapshot snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            const std::string relative = fs::relative(entry.path(), dir.Path()).string();
            snapshot[relative] = {dir.Read(relative), entry.last_write_time()};
        }
    }
    return snapshot;
}

bool Below(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size() + 1, folder + "/") == 0;
}

constexpr const char* kUserRegistry = "prefix/user.reg";

class BadInputTest : public NativeProgramTest {
  protected:
    void SetUp() override {
        NativeProgramTest::SetUp();
        dir.Write(std::string(kHost) + "/Modelle/Bahnhof.mdl", "the host's own\r\n");
    }

    // Runs the program with `input` and checks what every case must keep: it ended by itself
    // with one of its exit codes, everything outside the host and package folders is as it was
    // (but the prefix's user.reg, whose list of installed programs names the run's record),
    // and every file of the host other than the catalogue and `written` is unchanged.
    ProcessResult RunAndCheck(const std::string& input,
                              const std::vector<std::string>& written = {}) {
        const Snapshot before = Take(dir);
        const ProcessResult result = Run(input);
        EXPECT_FALSE(result.timedOut);
        EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 2) << result.exitCode << "\n"
                                                                  << result.err;
        const Snapshot after = Take(dir);
        for (const auto& [path, state] : after) {
            if (!Below(path, kHost) && !Below(path, "pkg") && path != kUserRegistry) {
                EXPECT_EQ(before.count(path), 1u) << path << " was written";
            }
        }
        for (const auto& [path, state] : before) {
            const bool mayChange = path == kCatalogue || path == kUserRegistry ||
                                   std::find(written.begin(), written.end(), path) != written.end();
            const auto now = after.find(path);
            EXPECT_TRUE(now != after.end()) << path << " was lost";
            if (now != after.end() && !mayChange) {
                EXPECT_TRUE(now->second == state) << path << " changed";
            }
        }
        return result;
    }

    void WriteScript(const std::string& script) const { dir.Write("pkg/InstSkript.txt", script); }
    std::string Catalogue() const { return dir.Read(kCatalogue); }
};

bool Ends(const ProcessResult& result, const std::string& message) {
    return result.out.find(message) != std::string::npos;
}

TEST_F(BadInputTest, AScriptOfRandomBytesHasNoSections) {
    std::mt19937 random(20261207);
    std::string script(1 << 20, '\0');
    for (char& c : script) {
        c = static_cast<char>(random());
    }
    WriteScript(script);
    const ProcessResult result = RunAndCheck("i\n");
    // Without a texture section the run fails; the catalogue is only brought into its layout.
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(Ends(result, kFailed)) << result.out;
    EXPECT_EQ(Catalogue(), "Texturen{\tTextur{\tid(1)\t}\r\n\t\t}\r\n\t\t");
}

TEST_F(BadInputTest, FiftyMegabytesOnOneLine) {
    std::string filler;
    filler.reserve(50u << 20);
    while (filler.size() < (50u << 20)) {
        filler += "Gleis Weiche Signal ";
    }
    // Both sections on the same line, with a block of 50 MB of words between them that the
    // reader passes over.
    WriteScript("Dateinstallation{{Modell.mdl>>Modelle\\Modell.mdl}}Notizen{" + filler + "}" +
                "Texturskript{{2>>Textur{id(2)}}}");
    const ProcessResult result = RunAndCheck("i\n", {std::string(kHost) + "/Modelle/Modell.mdl"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(dir.Read(std::string(kHost) + "/Modelle/Modell.mdl"), "model\r\n");
    EXPECT_NE(Catalogue().find("Textur{\tid(2)\t}"), std::string::npos);
}

TEST_F(BadInputTest, AHundredThousandNestedBraces) {
    const std::string nested = std::string(100000, '{') + std::string(100000, '}');
    const std::string catalogue = Catalogue();
    WriteScript("Dateinstallation\r\n" + nested + "\r\nTexturskript\r\n" + nested + "\r\n");
    const ProcessResult result = RunAndCheck("i\n");
    // Each section holds one entry, all braces, without ">>": nothing to do, and no failure.
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Ends(result, kSucceeded)) << result.out.substr(0, 2000);
    EXPECT_FALSE(dir.Exists(std::string(kHost) + "/Modelle/Modell.mdl"));
    EXPECT_EQ(Catalogue(), "Texturen{\tTextur{\tid(1)\t}\r\n\t\t}\r\n\t\t");
}

TEST_F(BadInputTest, ACatalogueOfAHundredThousandNestedBraces) {
    const std::string nested = std::string(100000, '{') + std::string(100000, '}');
    dir.Write(kCatalogue, "Texturen{" + nested + "}\r\n");
    const ProcessResult result = RunAndCheck("i\n", {std::string(kHost) + "/Modelle/Modell.mdl"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Ends(result, kSucceeded)) << result.out;
    // The texture finds a place, and nothing of the catalogue is lost.
    const std::string after = Catalogue();
    EXPECT_NE(after.find("Textur{\tid(2)\t}"), std::string::npos);
    EXPECT_GE(std::count(after.begin(), after.end(), '{'), 100001);
    EXPECT_GE(std::count(after.begin(), after.end(), '}'), 100001);
}

TEST_F(BadInputTest, IdentifiersOfFortyDigits) {
    const std::string huge(40, '9');
    WriteScript("Texturskript\r\n{\r\n\t{" + huge + ">>Textur{id(" + huge + ")}}\r\n\t{-" + huge +
                ">>Textur{id(0)}}\r\n}\r\n");
    const ProcessResult result = RunAndCheck("i\n");
    EXPECT_EQ(result.exitCode, 0) << result.out;
    const std::string after = Catalogue();
    EXPECT_NE(after.find("Textur{\tid(" + huge + ")\t}"), std::string::npos) << after;
    EXPECT_NE(after.find("Textur{\tid(0)\t}"), std::string::npos) << after;
    EXPECT_NE(after.find("Textur{\tid(1)\t}"), std::string::npos) << after;
}

TEST_F(BadInputTest, TheSameDestinationAThousandTimes) {
    std::string script = "Dateinstallation\r\n{\r\n";
    for (int i = 0; i < 1000; ++i) {
        script += "\t{Modell.mdl>>Modelle\\Neu.mdl}\r\n";
    }
    WriteScript(script + "}\r\nTexturskript\r\n{\r\n}\r\n");
    const std::string target = std::string(kHost) + "/Modelle/Neu.mdl";
    const ProcessResult result = RunAndCheck("i\n", {target});
    EXPECT_EQ(result.exitCode, 0) << result.out.substr(0, 2000);
    EXPECT_EQ(dir.Read(target), "model\r\n");
    // Beside the host's own model, no temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.HostPath(std::string(kHost) + "/Modelle")),
                            fs::directory_iterator()),
              2);
}

TEST_F(BadInputTest, FileNamesOfThreeHundredCharacters) {
    // Longer than any file name may be here (255 bytes): the copy fails with its message.
    const std::string tooLong(300, 'n');
    // The longest name that fits: its temporary name beside it must fit as well.
    const std::string longest = std::string(251, 'm') + ".mdl";
    dir.Write("pkg/" + longest, "long\r\n");
    WriteScript("Dateinstallation\r\n{\r\n\t{" + tooLong + ">>Modelle\\" + tooLong + "}\r\n\t{" +
                longest + ">>Modelle\\" + longest + "}\r\n}\r\nTexturskript\r\n{\r\n}\r\n");
    const std::string installed = std::string(kHost) + "/Modelle/" + longest;
    const ProcessResult result = RunAndCheck("i\n\n", {installed});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.out.find("Copying of the file "), std::string::npos) << result.out;
    EXPECT_TRUE(Ends(result, kFailed));
    EXPECT_EQ(dir.Read(installed), "long\r\n");
}

TEST_F(BadInputTest, AFourKilobyteDestinationIsNamedShortenedWithBothEnds) {
    const std::string name = std::string(4000, 'n') + ".mdl";
    WriteScript("Dateinstallation{{Modell.mdl>>Modelle\\" + name + "}}Texturskript{}");
    const ProcessResult result = RunAndCheck("i\n\n");
    EXPECT_EQ(result.exitCode, 2);
    const std::size_t start = result.out.find("(!) Copying of the file ");
    ASSERT_NE(start, std::string::npos) << result.out.substr(0, 2000);
    const std::string line = result.out.substr(start, result.out.find('\n', start) - start);
    // Both paths whole but for the middle of the long one; the message stays readable.
    EXPECT_LT(line.size(), 500u);
    EXPECT_NE(line.find("\\pkg\\Modell.mdl to C:\\Halmdor\\Modelle\\nnn"), std::string::npos)
        << line;
    EXPECT_NE(line.find("nnn...nnn"), std::string::npos) << line;
    EXPECT_NE(line.find("nnn.mdl failed."), std::string::npos) << line;
}

TEST_F(BadInputTest, ARegistryFileCutOffInAValue) {
    const std::string full =
        std::string(kRegistryHeader) + ProductValue("HMDX", "AppPath", "C:\\Halmdor\\Halmdor.exe");
    for (const std::size_t cut : {full.size() - 8, full.size() - 2, full.size() - 30}) {
        SCOPED_TRACE(full.substr(0, cut));
        dir.Write("prefix/system.reg", full.substr(0, cut));
        const ProcessResult result = RunAndCheck("i\n");
        EXPECT_EQ(result.exitCode, 0);  // the end of input quits after the notice
        EXPECT_NE(result.out.find(kNoHostEnglish), std::string::npos) << result.out;
    }
}

TEST_F(BadInputTest, ADestinationAThousandLevelsDeepIsInstalled) {
    std::string levels;
    for (int i = 0; i < 1000; ++i) {
        levels += "a\\";
    }
    WriteScript("Dateinstallation{{Modell.mdl>>" + levels + "Modell.mdl}}Texturskript{}");
    // Run rather than RunAndCheck: the snapshots would cost many times the run itself here.
    const ProcessResult result = Run("i\n");
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.out.substr(0, 2000);
    std::replace(levels.begin(), levels.end(), '\\', '/');
    EXPECT_EQ(dir.Read(std::string(kHost) + "/" + levels + "Modell.mdl"), "model\r\n");
}

TEST_F(BadInputTest, TenThousandBackslashesBelowAFileFailAndTheTexturesStillRun) {
    dir.Write(std::string(kHost) + "/Halmdor.exe", "host\r\n");
    WriteScript("Dateinstallation{{Modell.mdl>>Halmdor.exe\\y" + std::string(10000, '\\') +
                "}}Texturskript{{2>>Textur{id(2)}}}");
    const ProcessResult result = RunAndCheck("i\n\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.out.find("Copying of the file "), std::string::npos) << result.out;
    EXPECT_TRUE(Ends(result, kFailed));
    EXPECT_NE(Catalogue().find("Textur{\tid(2)\t}"), std::string::npos);
}

// Nothing waits for a writer: a FIFO where a file is read is no file. One that stands for a
// registry file leaves no host.
TEST_F(BadInputTest, AFifoInThePlaceOfAFileIsNoFile) {
    struct Case {
        std::string path;
        std::vector<std::string> messages;
        int exitCode;
    };
    const Case cases[] = {
        {"prefix/system.reg", {kNoHostEnglish}, 0},
        {"prefix/user.reg", {kNoHostEnglish}, 0},
        {"pkg/InstSkript.txt", {"(!) The skript file InstSkript.txt is missing.", kFailed}, 2},
        {kCatalogue, {kFailed}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string path = dir.HostPath(c.path);
        const bool existed = dir.Exists(c.path);
        const std::string contents = dir.Read(c.path);
        fs::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
        const ProcessResult result = RunAndCheck("i\n\n");
        fs::remove(path);
        if (existed) {
            dir.Write(c.path, contents);
        }
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out;
        for (const std::string& message : c.messages) {
            EXPECT_NE(result.out.find(message), std::string::npos) << result.out;
        }
    }
}

}  // namespace
}  // namespace kolvane::testing
