#include "app/win32/installer_app.h"

#include "app/program_parameters.h"
#include "app/remover_start.h"
#include "app/win32/installer_dialog.h"
#include "app/win32/remover_app.h"
#include "cmdline/cmdline.h"
#include "cmdline/command_tail.h"
#include "install/host_locator.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_program_list.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"
#include "remove/program_entries.h"

namespace kolvane::app {

InstallerApp theApp;

namespace {

// The command-line library's notices: a box of its own, before any window of the program exists.
void ShowCommandLineNotice(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), "cmdl", MB_ICONINFORMATION);
}

}  // namespace

int InstallerApp::Run(HINSTANCE instance, const char* commandLine) {
    m_instance = instance;
    m_commandLine = commandLine;
    // Under the remover's name the program removes packages; under any other it installs.
    if (IsRemoverPath(win32::ModulePath())) {
        return RunRemover(instance, cmdline::CommandTail(commandLine));
    }
    InitInstance();
    return m_exitCode;
}

bool InstallerApp::InitInstance() {
    // The progress bar's window class comes from the common controls.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    // The parse may show notices and may end the process (help, strict mode); its own result
    // does not matter here.
    cmdline::SetNoticeHook(ShowCommandLineNotice);
    cmdline::ParseCommandLine(cmdline::CommandTail(m_commandLine), 1);

    platform::Win32Registry registry;
    platform::Win32Files files;
    platform::Win32System system;
    InstallerDialog dialog(m_instance, registry, files, system,
                           {.silent = SilentSwitch.on, .record = true});
    dialog.DoModal();

    m_exitCode = ExitCodeOf(dialog.Outcome());
    if (dialog.Outcome()) {
        // The host keeps a remover for what was installed, and the list of programs names it.
        const HostLocator host(registry);
        if (host.HostFound()) {
            KeepRemover(files, host.HostPath());
            platform::Win32ProgramList programs;
            removal::UpdateProgramList(programs, files, host.HostPath());
        }
    }
    return false;
}

}  // namespace kolvane::app
