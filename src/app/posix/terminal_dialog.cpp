#include "app/posix/terminal_dialog.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "app/about.inc"
#include "messages/messages.h"
#include "platform/visible_text.h"

namespace kolvane::app {
namespace {

constexpr int kBarWidth = 20;

// The dialog caption and the about box, which the string table does not hold; the same in every
// language, as in the Windows program's resources.
constexpr std::string_view kDialogCaption = "Kolvane";
constexpr std::string_view kAboutCaption = KOLVANE_ABOUT_CAPTION;
constexpr std::string_view kAboutVersion = KOLVANE_ABOUT_VERSION;
constexpr std::string_view kAboutSecondLine = KOLVANE_ABOUT_SECOND_LINE;
// The command-line library's own message box.
constexpr std::string_view kNoticeCaption = "cmdl";

// The texts the terminal adds: the names of keys and of the buttons the system provides.
struct TerminalWords {
    std::string_view enter;
    std::string_view ok;
    std::string_view yes;
    std::string_view no;
    std::string_view yesKeys;  // the keys that answer Yes, this language's first
};
constexpr TerminalWords kEnglish{"Enter", "OK", "Yes", "No", "y/j"};
constexpr TerminalWords kGerman{"Eingabe", "OK", "Ja", "Nein", "j/y"};

const TerminalWords& WordsOf(platform::System& system) {
    return InLanguage(TextLanguage(system), kGerman, kEnglish);
}

bool IsAnswer(const std::optional<std::string>& answer, std::string_view keys) {
    return answer && answer->size() == 1 &&
           keys.find(static_cast<char>(std::tolower(static_cast<unsigned char>((*answer)[0])))) !=
               std::string_view::npos;
}

bool IsEnter(const std::optional<std::string>& answer) {
    return answer && answer->empty();
}

bool IsEscape(const std::optional<std::string>& answer) {
    return answer && *answer == "\x1b";
}

// The icon a message box of `boxType` shows: an OK box without icon flag the exclamation mark,
// as the framework shows it, and a Yes/No box without one the question mark.
std::string_view IconOf(unsigned boxType) {
    switch (boxType & 0xF0) {
        case 0x10:
            return "(x)";
        case 0x20:
            return "(?)";
        case 0x30:
            return "(!)";
        case 0x40:
            return "(i)";
        default:
            return (boxType & 0xF) == platform::kMbYesNo ? "(?)" : "(!)";
    }
}

}  // namespace

TerminalDialog::TerminalDialog(platform::System& system, AnswerSource& answers, std::ostream& out,
                               Options options)
    : m_system(system), m_answers(answers), m_out(out), m_options(std::move(options)) {}

std::string TerminalDialog::Localized(int germanId) {
    const char* text = MessageText(LocalizedId(m_system, germanId));
    return text != nullptr ? text : "";
}

void TerminalDialog::Write(std::string_view text) {
    // Names from the package, the registry or the command line are shown, never obeyed.
    m_out << ToTerminal(platform::VisibleText(text, platform::LineFeeds::kKept), m_options.charset);
}

void TerminalDialog::Bold(std::string_view text) {
    if (m_options.interactive) {
        m_out << "\x1b[1m";
        Write(text);
        m_out << "\x1b[0m";
    } else {
        Write(text);
    }
}

void TerminalDialog::EndProgressLine() {
    if (m_progressOpen) {
        m_out << '\n';
        m_progressOpen = false;
    }
}

void TerminalDialog::Button(std::string_view caption, std::string_view keys, bool isDefault) {
    m_out << "[ ";
    if (isDefault) {
        Bold(caption);
    } else {
        Write(caption);
    }
    m_out << ": ";
    Write(keys);
    m_out << " ]";
}

std::optional<std::string> TerminalDialog::Ask() {
    EndProgressLine();
    m_out << "> " << std::flush;
    std::optional<std::string> answer = m_answers.Next();
    if (answer && *answer != "\x1b") {
        Write(FromTerminal(*answer, m_options.charset));
    }
    m_out << std::endl;
    return answer;
}

void TerminalDialog::ShowDialog() {
    EndProgressLine();
    m_out << "== ";
    Bold(kDialogCaption);
    m_out << " ==\n";
    Write(Localized(kMsgDescription));
    m_out << '\n';
}

TerminalDialog::Command TerminalDialog::NextCommand() {
    const TerminalWords& words = WordsOf(m_system);
    for (;;) {
        EndProgressLine();
        Button(Localized(kMsgInstallButton), std::string(words.enter) + "/i", true);
        m_out << "  ";
        Button(Localized(kMsgQuitButton), "q", false);
        m_out << "  ";
        // The about box's menu item speaks German in every language, as the system menu does.
        Button(WithoutMnemonic(MessageText(kMsgAboutMenuItem)), "a", false);
        m_out << '\n';
        const std::optional<std::string> answer = Ask();
        if (IsEnter(answer) || IsAnswer(answer, "i")) {
            return Command::kInstall;
        }
        if (!answer || IsEscape(answer) || IsAnswer(answer, "q")) {
            return Command::kQuit;
        }
        if (IsAnswer(answer, "a")) {
            return Command::kAbout;
        }
    }
}

void TerminalDialog::WaitForOk() {
    const TerminalWords& words = WordsOf(m_system);
    for (;;) {
        Button(words.ok, words.enter, true);
        m_out << '\n';
        const std::optional<std::string> answer = Ask();
        // Every line ends with Enter; of single keys only Enter, the space bar and Escape press OK.
        if (!m_options.interactive || !answer || IsEnter(answer) || *answer == " " ||
            IsEscape(answer)) {
            return;
        }
    }
}

void TerminalDialog::ShowAbout() {
    EndProgressLine();
    m_out << "-- ";
    Bold(kAboutCaption);
    m_out << " --\n";
    Write(kAboutVersion);
    m_out << '\n';
    Write(kAboutSecondLine);
    m_out << '\n';
    WaitForOk();
}

void TerminalDialog::SetProgressRange(int low, int high) {
    m_low = low;
    m_high = high;
}

void TerminalDialog::SetProgressPosition(int position) {
    const int span = m_high > m_low ? m_high - m_low : 1;
    const int clamped = std::min(std::max(position, m_low), m_low + span);
    const int filled = (clamped - m_low) * kBarWidth / span;
    const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                            std::to_string(clamped - m_low) + "/" + std::to_string(span);
    if (m_options.interactive) {
        m_out << "\r\x1b[K" << bar << std::flush;
        m_progressOpen = true;
    } else {
        m_out << bar << std::endl;
    }
}

int TerminalDialog::ShowMessage(int stringId, unsigned boxType) {
    const char* text = MessageText(stringId);
    return ShowMessageText(text != nullptr ? text : "", boxType);
}

int TerminalDialog::ShowMessageText(const std::string& text, unsigned boxType) {
    return Box(m_options.boxCaption, text, boxType);
}

void TerminalDialog::ShowNotice(const std::string& text) {
    Box(kNoticeCaption, text, platform::kMbOk | platform::kMbIconInformation);
}

int TerminalDialog::Box(std::string_view caption, std::string_view text, unsigned boxType) {
    EndProgressLine();
    m_out << "-- ";
    Bold(caption);
    m_out << " --\n" << IconOf(boxType) << ' ';
    Write(text);
    if (text.empty() || text.back() != '\n') {
        m_out << '\n';
    }
    if ((boxType & 0xF) != platform::kMbYesNo) {
        WaitForOk();
        return platform::kIdOk;
    }
    const TerminalWords& words = WordsOf(m_system);
    for (;;) {
        Button(words.yes, std::string(words.yesKeys) + "/" + std::string(words.enter), true);
        m_out << "  ";
        Button(words.no, "n", false);
        m_out << '\n';
        const std::optional<std::string> answer = Ask();
        // Yes, the default button, keeps the present file: the safe choice at the end of input.
        if (!answer || IsEnter(answer) || IsAnswer(answer, "yj")) {
            return platform::kIdYes;
        }
        if (IsAnswer(answer, "n")) {
            return platform::kIdNo;
        }
    }
}

int RunInstallerDialog(platform::Platform& platform, TerminalDialog& dialog,
                       InstallOptions options) {
    dialog.ShowDialog();
    for (;;) {
        switch (dialog.NextCommand()) {
            case TerminalDialog::Command::kQuit:
                return kExitSucceeded;
            case TerminalDialog::Command::kAbout:
                dialog.ShowAbout();
                break;
            case TerminalDialog::Command::kInstall: {
                const InstallOutcome outcome = PressInstall(platform, options);
                if (outcome != InstallOutcome::kNoHost) {
                    return ExitCodeOf(outcome);
                }
                break;  // the dialog stays open
            }
        }
    }
}

std::string BoxCaptionOf(std::string_view modulePath) {
    const std::size_t slash = modulePath.find_last_of("\\/");
    std::string_view name =
        slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

}  // namespace kolvane::app
