#pragma once

#include <optional>
#include <string>

#include "install/installer.h"
#include "platform/platform.h"
#include "platform/win32/windows_support.h"

namespace kolvane::app {

// The main dialog, template 102: the description, the progress bar, Install and Quit. Install
// runs one installation; the dialog ends after it unless no host was found. Quit, Escape and
// Close end it untouched.
//
// The registry, the files, the system and the command line's options come from outside, so that
// tests can supply their own; the dialog itself is the run's user interface.
class InstallerDialog {
  public:
    InstallerDialog(HINSTANCE instance, platform::Registry& registry, platform::Files& files,
                    platform::System& system, InstallOptions options);
    InstallerDialog(const InstallerDialog&) = delete;
    InstallerDialog& operator=(const InstallerDialog&) = delete;

    // Runs the dialog until it ends: IDOK after an installation, IDCANCEL after Quit.
    INT_PTR DoModal();

    // How the installation that ended the dialog went; none when it ended otherwise.
    std::optional<InstallOutcome> Outcome() const { return m_outcome; }

  protected:
    // Binds the controls and moves the description between member and control.
    void DoDataExchange(bool save);
    BOOL OnInitDialog();
    void OnOK();
    void OnCancel();
    // These two return false when the message is left to the default processing.
    bool OnSysCommand(UINT id, LPARAM lParam);
    bool OnPaint();
    HICON OnQueryDragIcon() const { return m_icon; }

  private:
    template <typename Dialog>
    friend INT_PTR CALLBACK DialogProcOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    std::string LoadText(int id) const;

    HINSTANCE m_instance;
    platform::Registry& m_registry;
    platform::Files& m_files;
    platform::System& m_system;
    InstallOptions m_options;
    HWND m_window = nullptr;
    std::optional<InstallOutcome> m_outcome;

    HWND m_quitButton = nullptr;
    HWND m_installButton = nullptr;
    HWND m_progress = nullptr;
    std::string m_description;
    HICON m_icon = nullptr;
};

}  // namespace kolvane::app
