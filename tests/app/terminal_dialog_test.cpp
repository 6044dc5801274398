#include "app/posix/terminal_dialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "app/posix/command_line.h"
#include "app/posix/terminal_text.h"
#include "check/checker.h"
#include "names/windows_text.h"
#include "platform/doubles/fixed_system.h"
#include "pseudo_terminal.h"

namespace kolvane::app {
namespace {

using platform::FixedSystem;

// A dialog over answers given as lines, writing into a string.
struct DialogUnderTest {
    explicit DialogUnderTest(const std::string& input, bool interactive = false)
        : in(input),
          answers(in),
          dialog(system, answers, out, {TerminalCharset::kUtf8, interactive, "kolvane"}) {}

    FixedSystem system;
    std::istringstream in;
    LineAnswers answers;
    std::ostringstream out;
    TerminalDialog dialog;
};

TEST(TerminalDialogTest, AnswersPressTheDialogsButtons) {
    using Command = TerminalDialog::Command;
    struct Case {
        std::string input;
        Command command;
    };
    const Case cases[] = {
        {"\n", Command::kInstall},
        {"i\n", Command::kInstall},
        {"I\r\n", Command::kInstall},
        {" \t i \n", Command::kInstall},
        {"q\n", Command::kQuit},
        {"Q\n", Command::kQuit},
        {"", Command::kQuit},
        {"a\n", Command::kAbout},
        {"A", Command::kAbout},
        {"x\nquit\nq\n", Command::kQuit},
        {"install\ni\n", Command::kInstall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        DialogUnderTest test(c.input);
        EXPECT_EQ(test.dialog.NextCommand(), c.command);
    }
}

TEST(TerminalDialogTest, YesNoBoxesTakeYJAndN) {
    struct Case {
        std::string input;
        int button;
    };
    const Case cases[] = {
        {"y\n", platform::kIdYes},  {"J\n", platform::kIdYes},    {"j\n", platform::kIdYes},
        {"\n", platform::kIdYes},   {"", platform::kIdYes},       {"n\n", platform::kIdNo},
        {"N\r\n", platform::kIdNo}, {"no\nn\n", platform::kIdNo}, {"maybe\n", platform::kIdYes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        DialogUnderTest test(c.input);
        EXPECT_EQ(test.dialog.ShowMessageText("Keep?", platform::kMbYesNo), c.button);
    }
}

TEST(TerminalDialogTest, MessageBoxesShowCaptionIconTextAndButtons) {
    DialogUnderTest test("");
    test.system.language = platform::kLangGermanAustria;
    EXPECT_EQ(test.dialog.ShowMessage(104, platform::kMbIconInformation), platform::kIdOk);
    EXPECT_EQ(test.dialog.ShowMessage(103, platform::kMbOk), platform::kIdOk);
    EXPECT_EQ(test.dialog.ShowMessageText("Die Datei:\n\nC:\\x\n\nbehalten?", platform::kMbYesNo),
              platform::kIdYes);
    EXPECT_EQ(test.out.str(),
              "-- kolvane --\n(i) Installation erfolgreich abgeschlossen.\n[ OK: Eingabe ]\n> \n"
              "-- kolvane --\n(!) Die Installation konnte nicht korrekt durchgef\xC3\xBChrt "
              "werden.\n[ OK: Eingabe ]\n> \n"
              "-- kolvane --\n(?) Die Datei:\n\nC:\\x\n\nbehalten?\n"
              "[ Ja: j/y/Eingabe ]  [ Nein: n ]\n> \n");
}

// Names from a package, a registry or a catalogue reach a terminal in the dialog's boxes and in
// both reports of kolvane-check: their control characters are shown there, never obeyed.
TEST(TerminalDialogTest, ControlCharactersInNamesAreShownNotObeyed) {
    struct Case {
        std::string name;  // Windows-1252
        std::string dialog;
        std::string text;  // the text report, where each finding keeps to its line
        std::string json;
    };
    const Case cases[] = {
        {"a\x1b[2J\x1b]0;t\x07.dat", "a\\x1b[2J\\x1b]0;t\\x07.dat", "a\\x1b[2J\\x1b]0;t\\x07.dat",
         "a\\u001b[2J\\u001b]0;t\\u0007.dat"},
        {"x\r(i) Installation successful!", "x\\x0d(i) Installation successful!",
         "x\\x0d(i) Installation successful!", "x\\r(i) Installation successful!"},
        // 0x9D stands for the C1 control OSC; 0x9C is the letter oe.
        {"c1\x9d"
         "0;t\x9c",
         "c1\\x9d0;t\xC5\x93", "c1\\x9d0;t\xC5\x93", "c1\\u009d0;t\xC5\x93"},
        {"del\x7f\ttab", "del\\x7f\\x09tab", "del\\x7f\\x09tab", "del\\u007f\\ttab"},
        {"two\nlines", "two\nlines", "two\\x0alines", "two\\nlines"},
        {"Gr\xFC\xDF"
         "e.dat",
         "Gr\xC3\xBC\xC3\x9F"
         "e.dat",
         "Gr\xC3\xBC\xC3\x9F"
         "e.dat",
         "Gr\xC3\xBC\xC3\x9F"
         "e.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialog);
        DialogUnderTest test(names::Windows1252ToUtf8(c.name) + "\n");
        test.dialog.ShowMessageText(c.name, platform::kMbOk);
        EXPECT_EQ(test.out.str(), "-- kolvane --\n(!) " + c.dialog + "\n[ OK: Enter ]\n> " +
                                      c.dialog.substr(0, c.dialog.find('\n')) + "\n")
            << "the box, and the answer as it is echoed";

        check::Report report;
        report.script = "Z:\\" + c.name;
        report.Add(check::Severity::kError, 1, "code", c.name);
        EXPECT_EQ(check::FormatText(report, names::Windows1252ToUtf8),
                  "Z:\\" + c.text + ":1: error: " + c.text + " [code]\n1 error, 0 warnings.\n");
        EXPECT_EQ(check::FormatJson(report, names::Windows1252ToUtf8),
                  "{\"script\":\"Z:\\\\" + c.json +
                      "\",\"errors\":1,\"warnings\":0,\"exitCode\":2,\"findings\":[{\"severity\":"
                      "\"error\",\"line\":1,\"code\":\"code\",\"message\":\"" +
                      c.json + "\"}]}\n");
    }
}

TEST(TerminalDialogTest, InteractiveProgressIsRedrawnInPlace) {
    DialogUnderTest test("", true);
    test.dialog.SetProgressRange(0, 4);
    test.dialog.SetProgressPosition(0);
    test.dialog.SetProgressPosition(3);
    test.dialog.ShowMessageText("done", platform::kMbOk);
    EXPECT_EQ(test.out.str(),
              "\r\x1b[K[....................] 0/4"
              "\r\x1b[K[###############.....] 3/4\n"
              "-- \x1b[1mkolvane\x1b[0m --\n(!) done\n[ \x1b[1mOK\x1b[0m: Enter ]\n> \n");
}

TEST(TerminalDialogTest, ProgressStaysInsideItsRange) {
    DialogUnderTest test("");
    test.dialog.SetProgressRange(10, 20);
    test.dialog.SetProgressPosition(15);
    test.dialog.SetProgressPosition(99);
    test.dialog.SetProgressPosition(-1);
    EXPECT_EQ(test.out.str(),
              "[##########..........] 5/10\n"
              "[####################] 10/10\n"
              "[....................] 0/10\n");
}

TEST(TerminalDialogTest, InteractiveOkBoxesWaitForEnter) {
    DialogUnderTest test("x\ni\n\n", true);
    EXPECT_EQ(test.dialog.ShowMessage(204, platform::kMbIconInformation), platform::kIdOk);
    EXPECT_EQ(test.answers.Next(), std::nullopt);  // all three answers were taken
}

TEST(KeyAnswersTest, SingleKeysWithoutEnterAndTheTerminalSetBack) {
    PseudoTerminal pty;
    ASSERT_GE(pty.Terminal(), 0);
    // Keys are typed before they are awaited, so the line discipline must not hold them back
    // as lines (it would also turn Ctrl-D into a line end): a non-canonical terminal with echo
    // and a VMIN of its own, which KeyAnswers must change while reading and set back after.
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Terminal(), &before), 0);
    before.c_lflag = static_cast<tcflag_t>((before.c_lflag & ~ICANON) | ECHO);
    before.c_cc[VMIN] = 2;
    before.c_cc[VTIME] = 0;
    ASSERT_EQ(::tcsetattr(pty.Terminal(), TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(pty.Terminal(), &before), 0);
    KeyAnswers keys(pty.Terminal());

    struct Case {
        std::string typed;
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"a", "a"},
        {"\r", ""},
        {"\x1b[Aq", "q"},          // a cursor key is passed over
        {"\x1b[15~y", "y"},        // and so is a function key with parameters
        {"\x1bOPn", "n"},          // and one in the SS3 form
        {"\xC3\xA4", "\xC3\xA4"},  // a letter typed in UTF-8 is one key
        {"\x1b", "\x1b"},
        {"\x04", std::nullopt},  // Ctrl-D
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("end"));
        pty.Type(c.typed);
        EXPECT_EQ(keys.Next(), c.answer);
        termios after{};
        ASSERT_EQ(::tcgetattr(pty.Terminal(), &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    }
}

TEST(TerminalTextTest, CharsetFollowsTheLocale) {
    struct Case {
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        TerminalCharset charset;
    };
    const Case cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", TerminalCharset::kUtf8},
        {nullptr, nullptr, "en_US.utf8", TerminalCharset::kUtf8},
        {nullptr, nullptr, "de_DE.ISO-8859-1", TerminalCharset::kLatin1},
        {nullptr, nullptr, "de_DE.ISO-8859-15@euro", TerminalCharset::kLatin1},
        {nullptr, nullptr, "de_DE.CP1252", TerminalCharset::kWindows1252},
        {nullptr, nullptr, "de_DE", TerminalCharset::kUtf8},
        {nullptr, nullptr, "ja_JP.EUC-JP", TerminalCharset::kAscii},
        {"C", nullptr, "de_DE.UTF-8", TerminalCharset::kAscii},
        {"", "C.UTF-8", "C", TerminalCharset::kUtf8},
        {nullptr, nullptr, nullptr, TerminalCharset::kAscii},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang ? c.lang : "-");
        EXPECT_EQ(CharsetOfLocale(c.lcAll, c.lcCtype, c.lang), c.charset);
    }
}

TEST(TerminalTextTest, TextsReachTheTerminalInItsCharset) {
    const std::string text = "Gr\xFC\xDF \xC4rger \x80 5";
    EXPECT_EQ(ToTerminal(text, TerminalCharset::kUtf8),
              "Gr\xC3\xBC\xC3\x9F \xC3\x84rger \xE2\x82\xAC 5");
    EXPECT_EQ(ToTerminal(text, TerminalCharset::kLatin1), "Gr\xFC\xDF \xC4rger ? 5");
    EXPECT_EQ(ToTerminal(text, TerminalCharset::kWindows1252), text);
    EXPECT_EQ(ToTerminal(text, TerminalCharset::kAscii), "Gruess Aerger ? 5");
    EXPECT_EQ(FromTerminal("Br\xC3\xBC"
                           "cke",
                           TerminalCharset::kUtf8),
              "Br\xFC"
              "cke");
    EXPECT_EQ(WithoutMnemonic("Inf&o && mehr&"), "Info & mehr&");
}

TEST(CommandLineTextTest, ArgumentsBecomeOneWindowsCommandLine) {
    const char* none[] = {"kolvane"};
    EXPECT_EQ(CommandLineText(1, none, TerminalCharset::kUtf8), "");
    const char* two[] = {"kolvane", "-s", "-?s"};
    EXPECT_EQ(CommandLineText(3, two, TerminalCharset::kUtf8), "-s -?s");
    const char* spaced[] = {"kolvane", "-?", "a b", "", "Gr\xC3\xBC\xC3\x9F"};
    EXPECT_EQ(CommandLineText(5, spaced, TerminalCharset::kUtf8), "-? \"a b\"  Gr\xFC\xDF");
}

TEST(BoxCaptionTest, TheExecutablesNameWithoutExtension) {
    EXPECT_EQ(BoxCaptionOf("Z:\\tmp\\pkg\\kolvane"), "kolvane");
    EXPECT_EQ(BoxCaptionOf("C:\\Paket\\Kolvane.exe"), "Kolvane");
    EXPECT_EQ(BoxCaptionOf("C:\\a.b\\setup.1.exe"), "setup.1");
    EXPECT_EQ(BoxCaptionOf("C:\\x\\.hidden"), ".hidden");
    EXPECT_EQ(BoxCaptionOf(""), "");
}

}  // namespace
}  // namespace kolvane::app
