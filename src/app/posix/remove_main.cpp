// kolvane-remove: takes installations back by their records, in the host that the native
// installer finds (WINEPREFIX, else the prefix the search finds).
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/posix/answers.h"
#include "app/posix/prefix_choice.h"
#include "app/posix/remove_program.h"
#include "app/posix/terminal_text.h"
#include "install/host_locator.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/prefix_search.h"
#include "platform/posix/wine_prefix.h"
#include "platform/posix/wine_program_list.h"
#include "platform/posix/wine_registry.h"
#include "remove/program_entries.h"

using namespace kolvane;

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const app::TerminalStart start =
        app::StartAtTerminal("kolvane-remove", app::DetectTerminalCharset());
    const app::PrefixChoice& choice = start.prefix;
    if (choice.quit) {
        return app::kRemoveSucceeded;
    }
    const platform::WinePrefix prefix = platform::WinePrefixAt(choice.directory);
    const std::unique_ptr<platform::Registry> registry =
        platform::OpenPrefixRegistry(prefix.directory);
    platform::PosixFiles files(prefix.drives);
    const HostLocator host(*registry);
    const int exitCode = app::RunRemoveProgram(
        arguments, {files, host.HostFound() ? host.HostPath() : "", LanguageOf(start.language),
                    *start.answers, std::cout, std::cerr});
    // After a removal the list of installed programs, which Windows programs show, no longer
    // names what is gone.
    const bool removes =
        !arguments.empty() && (arguments[0] == "--force" || !arguments[0].starts_with("-"));
    if (removes && host.HostFound() && !prefix.directory.empty()) {
        platform::WineProgramList programs(prefix.directory);
        removal::UpdateProgramList(programs, files, host.HostPath());
    }
    return exitCode;
}
