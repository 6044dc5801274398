#pragma once

#include "app/exit_codes.h"
#include "platform/win32/windows_support.h"

namespace kolvane::app {

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
