#include "app/posix/terminal_dialog.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "app/about.inc"
#include "install/installer.h"
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
};
constexpr TerminalWords kEnglish{"Enter", "OK", "Yes", "No"};
constexpr TerminalWords kGerman{"Eingabe", "OK", "Ja", "Nein"};

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
    : system_(system), answers_(answers), out_(out), options_(std::move(options)) {}

bool TerminalDialog::German() {
    return LocalizedId(system_, kMsgDescription) == kMsgDescription;
}

std::string TerminalDialog::Localized(int germanId) {
    const char* text = MessageText(LocalizedId(system_, germanId));
    return text != nullptr ? text : "";
}

void TerminalDialog::Write(std::string_view text) {
    // Names from the package, the registry or the command line are shown, never obeyed.
    out_ << ToTerminal(platform::VisibleText(text, platform::LineFeeds::kKept), options_.charset);
}

void TerminalDialog::Bold(std::string_view text) {
    if (options_.interactive) {
        out_ << "\x1b[1m";
        Write(text);
        out_ << "\x1b[0m";
    } else {
        Write(text);
    }
}

void TerminalDialog::EndProgressLine() {
    if (progressOpen_) {
        out_ << '\n';
        progressOpen_ = false;
    }
}

void TerminalDialog::Button(std::string_view caption, std::string_view keys, bool isDefault) {
    out_ << "[ ";
    if (isDefault) {
        Bold(caption);
    } else {
        Write(caption);
    }
    out_ << ": ";
    Write(keys);
    out_ << " ]";
}

std::optional<std::string> TerminalDialog::Ask() {
    EndProgressLine();
    out_ << "> " << std::flush;
    std::optional<std::string> answer = answers_.Next();
    if (answer && *answer != "\x1b") {
        Write(FromTerminal(*answer, options_.charset));
    }
    out_ << std::endl;
    return answer;
}

void TerminalDialog::ShowDialog() {
    EndProgressLine();
    out_ << "== ";
    Bold(kDialogCaption);
    out_ << " ==\n";
    Write(Localized(kMsgDescription));
    out_ << '\n';
}

TerminalDialog::Command TerminalDialog::NextCommand() {
    const TerminalWords& words = German() ? kGerman : kEnglish;
    for (;;) {
        EndProgressLine();
        Button(Localized(kMsgInstallButton), std::string(words.enter) + "/i", true);
        out_ << "  ";
        Button(Localized(kMsgQuitButton), "q", false);
        out_ << "  ";
        // The about box's menu item speaks German in every language, as the system menu does.
        Button(WithoutMnemonic(MessageText(kMsgAboutMenuItem)), "a", false);
        out_ << '\n';
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
    const TerminalWords& words = German() ? kGerman : kEnglish;
    for (;;) {
        Button(words.ok, words.enter, true);
        out_ << '\n';
        const std::optional<std::string> answer = Ask();
        // Every line ends with Enter; of single keys only Enter, the space bar and Escape press OK.
        if (!options_.interactive || !answer || IsEnter(answer) || *answer == " " ||
            IsEscape(answer)) {
            return;
        }
    }
}

void TerminalDialog::ShowAbout() {
    EndProgressLine();
    out_ << "-- ";
    Bold(kAboutCaption);
    out_ << " --\n";
    Write(kAboutVersion);
    out_ << '\n';
    Write(kAboutSecondLine);
    out_ << '\n';
    WaitForOk();
}

void TerminalDialog::SetProgressRange(int low, int high) {
    low_ = low;
    high_ = high;
}

void TerminalDialog::SetProgressPosition(int position) {
    const int span = high_ > low_ ? high_ - low_ : 1;
    const int clamped = std::min(std::max(position, low_), low_ + span);
    const int filled = (clamped - low_) * kBarWidth / span;
    const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                            std::to_string(clamped - low_) + "/" + std::to_string(span);
    if (options_.interactive) {
        out_ << "\r\x1b[K" << bar << std::flush;
        progressOpen_ = true;
    } else {
        out_ << bar << std::endl;
    }
}

int TerminalDialog::ShowMessage(int stringId, unsigned boxType) {
    const char* text = MessageText(stringId);
    return ShowMessageText(text != nullptr ? text : "", boxType);
}

int TerminalDialog::ShowMessageText(const std::string& text, unsigned boxType) {
    return Box(options_.boxCaption, text, boxType);
}

void TerminalDialog::ShowNotice(const std::string& text) {
    Box(kNoticeCaption, text, platform::kMbOk | platform::kMbIconInformation);
}

int TerminalDialog::Box(std::string_view caption, std::string_view text, unsigned boxType) {
    EndProgressLine();
    out_ << "-- ";
    Bold(caption);
    out_ << " --\n" << IconOf(boxType) << ' ';
    Write(text);
    if (text.empty() || text.back() != '\n') {
        out_ << '\n';
    }
    if ((boxType & 0xF) != platform::kMbYesNo) {
        WaitForOk();
        return platform::kIdOk;
    }
    const TerminalWords& words = German() ? kGerman : kEnglish;
    const std::string yesKeys = German() ? "j/y" : "y/j";
    for (;;) {
        Button(words.yes, yesKeys + "/" + std::string(words.enter), true);
        out_ << "  ";
        Button(words.no, "n", false);
        out_ << '\n';
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

int RunInstallerDialog(platform::Platform& platform, TerminalDialog& dialog) {
    dialog.ShowDialog();
    for (;;) {
        switch (dialog.NextCommand()) {
            case TerminalDialog::Command::kQuit:
                return kExitSucceeded;
            case TerminalDialog::Command::kAbout:
                dialog.ShowAbout();
                break;
            case TerminalDialog::Command::kInstall:
                switch (PressInstall(platform)) {
                    case InstallOutcome::kNoHost:
                        break;  // the dialog stays open
                    case InstallOutcome::kSucceeded:
                        return kExitSucceeded;
                    case InstallOutcome::kFailed:
                        return kExitFailed;
                }
                break;
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
