#pragma once

#include "platform/win32/windows_support.h"

namespace kolvane::app {

// Exit codes of the Windows program, for the scripts that call it.
inline constexpr int kExitSucceeded = 0;    // an installation succeeded, or Quit
inline constexpr int kExitStrictParse = 1;  // the command-line library's strict mode
inline constexpr int kExitFailed = 2;       // the installation ended with the failure message
inline constexpr int kExitHelp = 3;         // the usage text was shown

// The application: parses the command line, then runs the main dialog until it ends.
class InstallerApp {
  public:
    InstallerApp() = default;

    // Starts the program in `instance` with the process command line `commandLine`; returns the
    // exit code.
    int Run(HINSTANCE instance, const char* commandLine);

  protected:
    // Parses the command line and runs the dialog. Returns false: the program ends after it.
    bool InitInstance();

  private:
    HINSTANCE m_instance = nullptr;
    const char* m_commandLine = "";
    int m_exitCode = kExitSucceeded;
};

// The one application object.
extern InstallerApp theApp;

}  // namespace kolvane::app
