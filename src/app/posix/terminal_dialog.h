#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "app/exit_codes.h"
#include "app/posix/answers.h"
#include "app/posix/terminal_text.h"
#include "install/installer.h"
#include "platform/platform.h"

namespace kolvane::app {

// The installer's dialog in a terminal: the caption, the description, the progress bar and the
// buttons as lines of text, message boxes with their caption and buttons, and the about box.
// The buttons are pressed by the answers: Enter or i for Install (the default button), q for
// Quit, a for the about box; an OK box takes any answer, a Yes/No box y or j for Yes, n for No.
// At the end of input Quit, OK and Yes are pressed. Interactive, the progress bar is redrawn in
// place and captions and default buttons are bold; otherwise no control codes are written.
class TerminalDialog : public platform::UserInterface {
  public:
    enum class Command { kInstall, kQuit, kAbout };

    struct Options {
        TerminalCharset charset = TerminalCharset::kUtf8;
        bool interactive = false;
        std::string boxCaption;  // the caption of message boxes (Windows-1252)
    };

    TerminalDialog(platform::System& system, AnswerSource& answers, std::ostream& out,
                   Options options);

    // The dialog's caption and description.
    void ShowDialog();
    // Shows the buttons and waits until one of them is pressed.
    Command NextCommand();
    void ShowAbout();

    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    int ShowMessage(int stringId, unsigned boxType) override;
    int ShowMessageText(const std::string& text, unsigned boxType) override;
    // A notice of the command-line library: a box of its own, captioned "cmdl" with the
    // information icon as on Windows, that waits to be acknowledged like every other.
    void ShowNotice(const std::string& text);

  private:
    // The string-table text of the German id `germanId` in the system's language.
    std::string Localized(int germanId);
    void Write(std::string_view text);  // Windows-1252, converted for the terminal
    void Bold(std::string_view text);
    void EndProgressLine();
    void Button(std::string_view caption, std::string_view keys, bool isDefault);
    // Prompts and reads one answer, echoing it.
    std::optional<std::string> Ask();
    void WaitForOk();
    int Box(std::string_view caption, std::string_view text, unsigned boxType);

    platform::System& m_system;
    AnswerSource& m_answers;
    std::ostream& m_out;
    Options m_options;
    int m_low = 0;
    int m_high = 100;
    bool m_progressOpen = false;  // an interactive progress line waits for its line end
};

// The dialog's life: shown, then driven by its buttons until Quit or a run that found a host,
// each run with `options`. Returns the program's exit code.
int RunInstallerDialog(platform::Platform& platform, TerminalDialog& dialog,
                       InstallOptions options);

// The caption of message boxes: the executable's file name without its extension, from its
// full path in Windows form.
std::string BoxCaptionOf(std::string_view modulePath);

}  // namespace kolvane::app
