// The native program end to end: its dialog, messages, answers, languages and results on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "native_program_fixture.h"

namespace kolvane::testing {
namespace {

namespace fs = std::filesystem;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

const std::string kEnglishButtons =
    "[ Install: Enter/i ]  [ Quit: q ]  [ Info \xC3\xBC"
    "ber Kolvane...: a ]\n";
const std::string kEnglishDialog =
    "== Kolvane ==\n"
    "This program installs additional models for the programs Halmdor (HMD), Pellimar 2 (PM2) "
    "and Brannock professional(BRK).\n";
const std::string kFullProgress =
    "[....................] 0/4\n"
    "[#####...............] 1/4\n"
    "[##########..........] 2/4\n"
    "[###############.....] 3/4\n"
    "[####################] 4/4\n";

TEST_F(NativeProgramTest, InstallShowsTheDialogProgressAndSuccess) {
    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kEnglishDialog + kEnglishButtons + "> i\n" + kFullProgress +
                              "-- kolvane --\n"
                              "(i) Installation successful!\n"
                              "[ OK: Enter ]\n"
                              "> \n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(dir.Read("prefix/drive_c/Halmdor/Modelle/Modell.mdl"), "model\r\n");
    // The copy to š went over the file the copy to Š had made.
    std::vector<std::string> models;
    for (const auto& entry :
         fs::directory_iterator(dir.HostPath("prefix/drive_c/Halmdor/Modelle"))) {
        models.push_back(entry.path().filename().string());
    }
    std::sort(models.begin(), models.end());
    EXPECT_EQ(models, (std::vector<std::string>{"Modell.mdl", "\xC5\xA0.dat"}));
    EXPECT_EQ(dir.Read("prefix/drive_c/Halmdor/Modelle/\xC5\xA0.dat"), "b");
    // Texture 2 follows texture 1 on its line; the catalogue is rewritten in its own layout.
    EXPECT_EQ(dir.Read(kCatalogue),
              "Texturen{\tTextur{\tid(1)\t}Textur{\tid(2)\t}\r\n\t\t}\r\n\t\t");
}

TEST_F(NativeProgramTest, ACatalogueThatCannotBeWrittenEndsTheRunWithFailure) {
    const std::string before = dir.Read(kCatalogue);
    fs::permissions(dir.HostPath(kCatalogue), fs::perms::owner_read | fs::perms::group_read);
    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, kEnglishDialog + kEnglishButtons + "> i\n" + kFullProgress +
                              "-- kolvane --\n"
                              "(!) Error during installation process.\n"
                              "[ OK: Enter ]\n"
                              "> \n");
    EXPECT_EQ(dir.Read(kCatalogue), before);
    EXPECT_EQ(dir.Read("prefix/drive_c/Halmdor/Modelle/Modell.mdl"), "model\r\n");
}

TEST_F(NativeProgramTest, EnterAndAnyCaseOfIPressInstall) {
    for (const std::string input : {"\n", "I\r\n", "  i  \n"}) {
        SCOPED_TRACE(input);
        const ProcessResult result = Run(input);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find("(i) Installation successful!\n"), std::string::npos);
    }
}

TEST_F(NativeProgramTest, SpeaksGermanWhereTheLocaleIsGerman) {
    const ProcessResult result = Run("i\n", {{"LANG", "de_AT.UTF-8"}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "== Kolvane ==\n"
              "Dieses Programm installiert zus\xC3\xA4tzliche Modelle zum Programm Halmdor (HMD).\n"
              "[ Installieren: Eingabe/i ]  [ Abbrechen: q ]  [ Info \xC3\xBC"
              "ber Kolvane...: a ]\n"
              "> i\n" +
                  kFullProgress +
                  "-- kolvane --\n"
                  "(i) Installation erfolgreich abgeschlossen.\n"
                  "[ OK: Eingabe ]\n"
                  "> \n");
}

TEST_F(NativeProgramTest, WritesTextsInTheTerminalsCharacterSet) {
    struct Case {
        std::map<std::string, std::optional<std::string>> environment;
        std::string expected;  // a line the dialog shows
    };
    const Case cases[] = {
        {{{"LANG", "de_DE.UTF-8"}}, "zus\xC3\xA4tzliche Modelle"},
        {{{"LC_ALL", "de_DE.ISO-8859-1"}}, "zus\xE4tzliche Modelle"},
        {{{"LC_ALL", "de_DE.CP1252"}}, "zus\xE4tzliche Modelle"},
        {{{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, "Info ueber Kolvane..."},
        {{{"LANG", std::nullopt}}, "[ Info ueber Kolvane...: a ]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const ProcessResult result = Run("q\n", c.environment);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find(c.expected), std::string::npos) << result.out;
    }
}

TEST_F(NativeProgramTest, WithoutHostTheDialogStaysOpen) {
    WriteRegistry("[Software\\\\Classes\\\\Software\\\\Other] 1\n\"AppPath\"=\"C:\\\\x\\\\\"\n");
    const ProcessResult result = Run("i\n\n\n\nq\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kEnglishDialog + kEnglishButtons + "> i\n" + "-- kolvane --\n" +
                              kNoHostEnglish + "[ OK: Enter ]\n> \n" + kEnglishButtons + "> \n" +
                              "-- kolvane --\n" + kNoHostEnglish + "[ OK: Enter ]\n> \n" +
                              kEnglishButtons + "> q\n");
}

TEST_F(NativeProgramTest, TheHostIsLookedUpAsOnWindows) {
    struct Case {
        const char* name;
        std::string registry;
        bool found;
    };
    const Case cases[] = {
        {"QZ only", ProductValue("QZ", "AppPath", "C:\\Halmdor\\"), true},
        {"HMDX without AppPath, QZ complete",
         ProductValue("HMDX", "ResBase", "C:\\Halmdor\\Resources") +
             ProductValue("QZ", "AppPath", "C:\\Halmdor\\"),
         false},
        {"an AppPath of 260 characters",
         ProductValue("HMDX", "AppPath", "C:\\" + std::string(256, 'h') + "\\"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRegistry(c.registry);
        const ProcessResult result = Run("i\n");
        EXPECT_EQ(result.out.find(kNoHostEnglish) == std::string::npos, c.found) << result.out;
    }
}

TEST_F(NativeProgramTest, AMissingPrefixMeansNoHost) {
    for (const std::string& prefix :
         {dir.HostPath("no-prefix"), dir.HostPath("pkg/InstSkript.txt")}) {
        SCOPED_TRACE(prefix);
        const ProcessResult result = Run("i\n", {{"WINEPREFIX", prefix}});
        EXPECT_EQ(result.exitCode, 0);  // the end of input quits
        EXPECT_NE(result.out.find(kNoHostEnglish), std::string::npos);
        EXPECT_EQ(result.out.find("0/4"), std::string::npos);
    }
}

TEST_F(NativeProgramTest, WithoutWineprefixTheHomePrefixIsRead) {
    fs::rename(dir.HostPath("prefix"), dir.HostPath(".wine"));
    const ProcessResult result = Run("i\n", {{"WINEPREFIX", std::nullopt}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("(i) Installation successful!"), std::string::npos) << result.out;
}

TEST_F(NativeProgramTest, AMissingScriptEndsTheRunWithFailure) {
    fs::remove(dir.HostPath("pkg/InstSkript.txt"));
    const ProcessResult result = Run("i\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out,
              kEnglishDialog + kEnglishButtons + "> i\n" +
                  "[....................] 0/4\n"
                  "[#####...............] 1/4\n"
                  "-- kolvane --\n"
                  "(!) The skript file InstSkript.txt is missing. This contains installation "
                  "information and must reside in the same directory as Kolvane.\n"
                  "[ OK: Enter ]\n> \n"
                  "-- kolvane --\n"
                  "(!) Error during installation process.\n"
                  "[ OK: Enter ]\n> \n");
}

TEST_F(NativeProgramTest, AboutBoxAndQuitLeaveEverythingAsItWas) {
    const std::string catalogue = dir.Read(kCatalogue);
    const ProcessResult result = Run("a\n\nq\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kEnglishDialog + kEnglishButtons + "> a\n" +
                              "-- Info \xC3\xBC"
                              "ber Kolvane --\n"
                              "Kolvane Version 1.0\n"
                              "Modellpakete f\xC3\xBC"
                              "r Halmdor\n"
                              "[ OK: Enter ]\n> \n" +
                              kEnglishButtons + "> q\n");
    EXPECT_FALSE(dir.Exists("prefix/drive_c/Halmdor/Modelle"));
    EXPECT_EQ(dir.Read(kCatalogue), catalogue);
}

TEST_F(NativeProgramTest, TheEndOfInputQuits) {
    for (const std::string input : {"", "x\nhelp\n"}) {
        SCOPED_TRACE(input);
        const ProcessResult result = Run(input);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.find("0/4"), std::string::npos);
        EXPECT_EQ(Count(result.out, kEnglishButtons), input.empty() ? 1u : 3u);
    }
}

TEST_F(NativeProgramTest, ANewerPresentFileIsKeptOrReplacedAsAnswered) {
    const std::string source =
        ToDriveZ(fs::canonical(dir.HostPath("pkg")).string()) + "\\Modell.mdl";
    const std::string question =
        "-- kolvane --\n(?) The file: \n\nC:\\Halmdor\\Modelle\\Modell.mdl\n\n"
        " is of a newer version than the one it is to be replaced with: "
        "\n\n" +
        source +
        ".\n\n It is recommended to keep the file.  \n\nShould the "
        "present file be kept?\n[ Yes: y/j/Enter ]  [ No: n ]\n";
    struct Case {
        std::string input;
        std::vector<std::string> arguments;
        bool asked;
        std::string installed;
    };
    const Case cases[] = {
        {"i\ny\n", {}, true, "the host's own\r\n"}, {"i\nJ\n", {}, true, "the host's own\r\n"},
        {"i\n", {}, true, "the host's own\r\n"},  // the end of input keeps it
        {"i\nn\n", {}, true, "model\r\n"},          {"i\n", {"-s"}, false, "the host's own\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + (c.arguments.empty() ? "" : " -s"));
        dir.Write("prefix/drive_c/Halmdor/Modelle/Modell.mdl", "the host's own\r\n");
        const auto packageTime = fs::last_write_time(dir.HostPath("pkg/Modell.mdl"));
        fs::last_write_time(dir.HostPath("prefix/drive_c/Halmdor/Modelle/Modell.mdl"),
                            packageTime + std::chrono::seconds(1));
        const ProcessResult result = Run(c.input, {}, c.arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.find(question) != std::string::npos, c.asked) << result.out;
        EXPECT_NE(result.out.find("(i) Installation successful!"), std::string::npos);
        EXPECT_EQ(dir.Read("prefix/drive_c/Halmdor/Modelle/Modell.mdl"), c.installed);
    }
}

TEST_F(NativeProgramTest, APackageOnDriveCNamesItsFilesThere) {
    const std::string package =
        "prefix/drive_c/Pakete/Br\xC3\xBC"
        "cke";
    fs::create_directories(dir.HostPath(package));
    fs::copy_file(KOLVANE_PROGRAM, dir.HostPath(package + "/kolvane"));
    dir.Write(package +
                  "/G\xC3\xBC"
                  "terwagen.mdl",
              "wagon\r\n");
    dir.Write(package + "/InstSkript.txt",
              "Dateinstallation{{G\xFCterwagen.mdl>>Modelle\\G\xFCterwagen.mdl}"
              "{Fehlt.mdl>>Modelle\\Fehlt.mdl}}Texturskript{}");
    ProcessRun run;
    run.args = {dir.HostPath(package + "/kolvane")};
    run.environment = {
        {"WINEPREFIX", dir.HostPath("prefix")}, {"LANG", "C.UTF-8"}, {"LC_ALL", std::nullopt}};
    run.input = "i\n";
    const ProcessResult result = RunProcess(run);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(dir.Read("prefix/drive_c/Halmdor/Modelle/G\xC3\xBC"
                       "terwagen.mdl"),
              "wagon\r\n");
    EXPECT_NE(result.out.find("(!) Copying of the file C:\\Pakete\\Br\xC3\xBC"
                              "cke\\Fehlt.mdl to C:\\Halmdor\\Modelle\\Fehlt.mdl failed. "
                              "Maybe a write protection is set?\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("(!) Error during installation process.\n"), std::string::npos);
}

TEST_F(NativeProgramTest, HelpEndsTheProgramBeforeTheDialog) {
    const std::string usage =
        "-s :Silent: No request about skipping installation just doing default\n"
        "-? :display usage help (argument for help on a particular parameter)\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string notice;
    };
    const Case cases[] = {
        {{"-?"}, usage},
        {{"/?"}, usage},
        {{"-?", "s"}, usage},
        {{"-?s"}, "-s :Silent: No request about skipping installation just doing default\n"},
        {{"-??"}, "-? :display usage help (argument for help on a particular parameter)\n"},
        {{"-?x"}, "help argument did not match any parameters.\n"},
        {{"-s?"}, usage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const ProcessResult result = Run("i\n", {}, c.arguments);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "-- cmdl --\n(i) " + c.notice + "[ OK: Enter ]\n> i\n");
        EXPECT_EQ(result.err, "");
        EXPECT_FALSE(dir.Exists("prefix/drive_c/Halmdor/Modelle"));
    }
}

// A notice is a box like every other: it takes one answer before the dialog opens. So the Enter
// meant for it is no press of Install, and the q after it quits.
TEST_F(NativeProgramTest, AFaultyCommandLineIsReportedAndTheDialogOpens) {
    struct Case {
        std::vector<std::string> arguments;
        std::string notice;
    };
    const Case cases[] = {
        {{"-s"}, ""},
        {{"/s+"}, ""},
        {{"-x"}, "error: switch -x\ninvalid switch.\n"},
        {{"-Silent"}, "error: switch -Silent\ninvalid switch.\n"},
        {{"-s=x"}, "use:\n-s or -s+ will turn on.\n-s- will turn off.\n"},
        {{"Br\xC3\xBC"
          "cke"},
         "bad parameter: Br\xC3\xBC"
         "cke\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const ProcessResult result = Run("\nq\n", {}, c.arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        const std::string box =
            c.notice.empty() ? "" : "-- cmdl --\n(i) " + c.notice + "[ OK: Enter ]\n> \n";
        EXPECT_EQ(result.out.substr(0, box.size() + 3), box + "== ") << result.out;
        EXPECT_EQ(dir.Exists("prefix/drive_c/Halmdor/Modelle/Modell.mdl"), c.notice.empty());
        std::filesystem::remove(dir.HostPath("prefix/drive_c/Halmdor/Modelle/Modell.mdl"));
    }
}

TEST_F(NativeProgramTest, TheDemoInstalls) {
    ProcessRun make;
    make.args = {"bash", KOLVANE_SOURCE_DIR "/scripts/demo-data.sh", dir.HostPath("demo")};
    const ProcessResult made = RunProcess(make);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    // The built program, run in the package folder as the demo runs it.
    ProcessRun run;
    run.args = {KOLVANE_PROGRAM};
    run.directory = dir.HostPath("demo/Paket");
    run.environment = {{"WINEPREFIX", dir.HostPath("demo/wineprefix")},
                       {"LANG", "C.UTF-8"},
                       {"LC_ALL", std::nullopt}};
    run.input = "i\n";
    const ProcessResult result = RunProcess(run);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("(i) Installation successful!"), std::string::npos) << result.out;
    const std::string host = "demo/wineprefix/drive_c/Halmdor/";
    EXPECT_EQ(dir.Read(host + "Modelle/Tessaline/Dampflok.mdl"),
              dir.Read("demo/Paket/Modelle/Dampflok.mdl"));
    EXPECT_TRUE(dir.Exists(host + "Modelle/Tessaline/G\xC3\xBC"
                                  "terwagen.mdl"));
    EXPECT_TRUE(dir.Exists(host + "Texturen/Tessaline/Kessel.bmp"));
    // Textures 3 and 6 each follow the nearest lower one the host holds.
    EXPECT_EQ(dir.Read(host + "Resources/Rezazerad/Texturen.txt"),
              "Texturen{\tTextur{\tid(1)\tName(Gras)\tDatei(Texturen\\Gras.bmp)\t}\r\n"
              "\t\tTextur{\tid(2)\tName(Schotter)\tDatei(Texturen\\Schotter.bmp)\t}"
              "Textur{\tid(3)\tName(Kessel)\tDatei(Texturen\\Tessaline\\Kessel.bmp)\t}\r\n"
              "\t\tTextur{\tid(5)\tName(Ziegel)\tDatei(Texturen\\Ziegel.bmp)\t}"
              "Textur{\tid(6)\tName(Rauch)\tDatei(Texturen\\Tessaline\\Rauch.bmp)\t}\r\n"
              "\t\t}\r\n\t\t");
}

}  // namespace
}  // namespace kolvane::testing
