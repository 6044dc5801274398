// The native program: the installer's dialog in a terminal, installing into a host that lives in
// a Wine prefix.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/posix/answers.h"
#include "app/posix/command_line.h"
#include "app/posix/package_folder.h"
#include "app/posix/prefix_choice.h"
#include "app/posix/terminal_dialog.h"
#include "app/posix/terminal_text.h"
#include "app/program_parameters.h"
#include "cmdline/cmdline.h"
#include "install/host_locator.h"
#include "messages/messages.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/prefix_search.h"
#include "platform/posix/wine_prefix.h"
#include "platform/posix/wine_program_list.h"
#include "platform/posix/wine_registry.h"
#include "remove/program_entries.h"

using namespace kolvane;

namespace {

// The dialog that shows the command-line library's notices, whose hook takes no context of its
// own.
app::TerminalDialog* g_noticeDialog = nullptr;

void ShowNotice(const std::string& text) {
    if (g_noticeDialog != nullptr) {
        g_noticeDialog->ShowNotice(text);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const app::TerminalCharset charset = app::DetectTerminalCharset();

    const app::TerminalStart start = app::StartAtTerminal("kolvane", charset);
    const bool interactive = start.interactive;
    const std::unique_ptr<app::AnswerSource>& answers = start.answers;
    const app::PrefixChoice& choice = start.prefix;
    if (choice.quit) {
        return app::kExitSucceeded;
    }
    const platform::WinePrefix prefix = platform::WinePrefixAt(choice.directory);
    const platform::DriveMap& drives = prefix.drives;

    // Without a prefix there is no host.
    const std::unique_ptr<platform::Registry> prefixRegistry =
        platform::OpenPrefixRegistry(prefix.directory);
    platform::Registry& registry = *prefixRegistry;
    platform::PosixFiles files(drives);
    std::error_code noWorkingDirectory;
    platform::PosixSystem system(
        drives, app::ModulePathInPackage(platform::ExecutablePath(),
                                         std::filesystem::current_path(noWorkingDirectory)));

    app::TerminalDialog dialog(system, *answers, std::cout,
                               {charset, interactive, app::BoxCaptionOf(system.ModuleFileName())});

    // Lenient: a faulty command line has been reported and the dialog opens all the same; help
    // ends the process here with exit code 3. Each notice waits for its answer, as every box does.
    g_noticeDialog = &dialog;
    cmdline::SetNoticeHook(ShowNotice);
    cmdline::ParseCommandLine(app::CommandLineText(argc, argv, charset).c_str(), 1);

    platform::Platform platform{registry, files, dialog, system};
    const int exitCode =
        app::RunInstallerDialog(platform, dialog, {.silent = SilentSwitch.on, .record = true});
    // The list of installed programs, which Windows programs show, names what the host holds.
    if (const HostLocator host(registry); host.HostFound() && !prefix.directory.empty()) {
        platform::WineProgramList programs(prefix.directory);
        removal::UpdateProgramList(programs, files, host.HostPath());
    }
    return exitCode;
}
