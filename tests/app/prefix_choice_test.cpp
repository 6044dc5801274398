#include "app/posix/prefix_choice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/posix/package_folder.h"
#include "platform/posix/posix_system.h"
#include "pseudo_terminal.h"
#include "support/temp_dir.h"

namespace kolvane::app {
namespace {

using testing::TempDir;

const std::string kHostRegistry =
    "WINE REGISTRY Version 2\n\n[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1\n";

// A home directory with Wine prefixes, and the choice made there.
class ChoosePrefixTest : public ::testing::Test {
  protected:
    std::string Prefix(const std::string& relative) {
        dir.Write(relative + "/system.reg", kHostRegistry);
        return dir.HostPath(relative);
    }

    PrefixChoice Choose(const char* winePrefix = nullptr, const char* answers = nullptr,
                        bool german = false) {
        std::istringstream in(answers != nullptr ? answers : "");
        LineAnswers lines(in);
        return ChoosePrefix({winePrefix, dir.Path(), "kolvane", false,
                             german ? platform::kLanguageGerman : platform::kLanguageEnglish},
                            answers != nullptr ? &lines : nullptr, out, err);
    }

    TempDir dir;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(ChoosePrefixTest, WineprefixWinsOverWhatTheSearchFinds) {
    Prefix(".wine");
    const PrefixChoice choice = Choose("/srv/prefix");
    EXPECT_EQ(choice.directory, "/srv/prefix");
    EXPECT_FALSE(choice.quit);
    EXPECT_EQ(err.str(), "");
}

TEST_F(ChoosePrefixTest, TheOnePrefixFoundIsTakenAndNamed) {
    const std::string bottle = Prefix(".local/share/bottles/bottles/Halmdor");
    EXPECT_EQ(Choose("").directory, bottle);  // empty counts as not set
    EXPECT_EQ(err.str(),
              "kolvane: Wine prefix " + bottle + " (found; set WINEPREFIX for another)\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(ChoosePrefixTest, NoneFoundReadsHomesPrefixAndSaysWhereItLooked) {
    const PrefixChoice choice = Choose(nullptr, nullptr, true);
    EXPECT_EQ(choice.directory, dir.HostPath(".wine"));
    const std::string text = err.str();
    EXPECT_TRUE(
        text.starts_with("kolvane: Kein Wine-Pr\xC3\xA4"
                         "fix gefunden"))
        << text;
    EXPECT_NE(text.find("\n  " + dir.HostPath(".PlayOnLinux/wineprefix/*") + "\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("  WINEPREFIX=\"$HOME/path/to/prefix\" kolvane\n")) << text;
}

TEST_F(ChoosePrefixTest, OfSeveralATerminalChoosesAndAPipeTakesNone) {
    const std::string first = Prefix(".wine");
    const std::string second = Prefix("Games/halmdor");

    PrefixChoice choice = Choose();
    EXPECT_EQ(choice.directory, "");
    EXPECT_FALSE(choice.quit);
    EXPECT_EQ(
        err.str(),
        "kolvane: Several Wine prefixes hold Halmdor, Pellimar 2 or Brannock; name the one to use "
        "in WINEPREFIX:\n"
        "  " +
            first + "\n  " + second + "\n");

    struct Case {
        const char* answers;
        bool quit;
        std::string directory;
    };
    const Case cases[] = {
        {"2\n", false, second}, {"0\n3\nx\n1\n", false, first},
        {"q\n", true, ""},      {"\x1b\n", true, ""},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers);
        out.str("");
        err.str("");
        choice = Choose(nullptr, c.answers);
        EXPECT_EQ(choice.quit, c.quit);
        EXPECT_EQ(choice.directory, c.directory);
        EXPECT_EQ(err.str(), "");
    }
    EXPECT_EQ(out.str(),
              "Several Wine prefixes hold Halmdor, Pellimar 2 or Brannock. Which one?\n  1: " +
                  first + "\n  2: " + second + "\n[ Number: 1-2 ]  [ Quit: q ]\n> \n");
}

TEST_F(ChoosePrefixTest, ControlCharactersAndInvalidBytesInPrefixPathsAreShownEscaped) {
    struct Case {
        std::string path;  // the file system's bytes
        std::string utf8;  // as a UTF-8 terminal shows it
        std::string latin1;
    };
    const Case cases[] = {
        {"/p\xC2\x9B"
         "2J",
         "/p\\xc2\\x9b2J", "/p\\xc2\\x9b2J"},  // CSI, the C1 form of ESC [
        {"/p\xFF", "/p\\xff", "/p\\xff"},
        {"/p\x1b]0;t\x07", "/p\\x1b]0;t\\x07", "/p\\x1b]0;t\\x07"},
        {"/Br\xC3\xBC"
         "cke",
         "/Br\xC3\xBC"
         "cke",
         "/Br\xFC"
         "cke"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        for (const TerminalCharset charset : {TerminalCharset::kUtf8, TerminalCharset::kLatin1}) {
            err.str("");
            ChoosePrefix(
                {c.path.c_str(), dir.Path(), "kolvane", true, platform::kLanguageEnglish, charset},
                nullptr, out, err);
            EXPECT_EQ(err.str(), "kolvane: Wine prefix " +
                                     (charset == TerminalCharset::kUtf8 ? c.utf8 : c.latin1) +
                                     " (WINEPREFIX)\n");
        }
    }
}

// At a terminal, with more choices than digits: a number is read up to Enter, so that "1" does
// not choose the first of twelve before the "2" is typed.
TEST_F(ChoosePrefixTest, OfTwelveATerminalReadsTheWholeNumber) {
    std::vector<std::string> prefixes;
    for (int i = 1; i <= 12; ++i) {
        prefixes.push_back(Prefix("Games/p" + std::string(i < 10 ? "0" : "") + std::to_string(i)));
    }
    PseudoTerminal pty;
    ASSERT_TRUE(pty.HoldKeysAsTyped());
    KeyAnswers keys(pty.Terminal());
    struct Case {
        std::string typed;
        std::string shown;  // what the answer line shows after the prompt
        bool quit;
        std::string directory;
    };
    const Case cases[] = {
        {"12\r", "12\n", false, prefixes[11]},
        {"1\r", "1\n", false, prefixes[0]},
        // Out of range asks again; Backspace takes a digit back; other keys count for nothing.
        {"13\r3x\x7f\x7f"
         "10\r",
         "13\n[ Number: 1-12 ]  [ Quit: q ]\n> 3\b \b10\n", false, prefixes[9]},
        {"1q", "1\n", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        out.str("");
        pty.Type(c.typed);
        const PrefixChoice choice =
            ChoosePrefix({nullptr, dir.Path(), "kolvane", false}, &keys, out, err);
        EXPECT_EQ(choice.quit, c.quit);
        EXPECT_EQ(choice.directory, c.directory);
        const std::string text = out.str();
        EXPECT_TRUE(text.ends_with("  12: " + prefixes[11] + "\n[ Number: 1-12 ]  [ Quit: q ]\n> " +
                                   c.shown))
            << text;
    }
}

TEST(PackageFolderTest, TheProgramsFolderWhenTheScriptIsThereElseTheWorkingDirectory) {
    TempDir dir;
    dir.Write("pkg/InstSkript.txt", "");
    dir.Write("lower/instskript.txt", "");
    dir.Write("folder/InstSkript.txt/x", "");
    std::filesystem::create_directories(dir.HostPath("bin"));
    const std::string cwd = dir.HostPath("cwd");
    EXPECT_EQ(PackageFolder(dir.HostPath("pkg"), cwd), dir.HostPath("pkg"));
    EXPECT_EQ(PackageFolder(dir.HostPath("lower"), cwd), dir.HostPath("lower"));
    EXPECT_EQ(PackageFolder(dir.HostPath("folder"), cwd), cwd);  // a folder is no script
    EXPECT_EQ(PackageFolder(dir.HostPath("bin"), cwd), cwd);
    EXPECT_EQ(ModulePathInPackage(dir.HostPath("bin/kolvane"), cwd), cwd + "/kolvane");
    EXPECT_EQ(ModulePathInPackage(dir.HostPath("pkg/kolvane"), cwd), dir.HostPath("pkg/kolvane"));
    EXPECT_EQ(ModulePathInPackage("", cwd), "");
}

}  // namespace
}  // namespace kolvane::app
