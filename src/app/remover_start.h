#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messages/messages.h"
#include "remove/program_entries.h"
#include "remove/removal_run.h"

// The remover mode of the Windows program: Kolvane.exe keeps a copy of itself in each host's
// record folder, and that copy, started under its own name, removes packages instead of
// installing one. What decides it is portable, so that it is the same wherever it is tested.
namespace kolvane::app {

using removal::kRemoverFileName;

// Whether the program at `modulePath` is the remover: its file name is the remover's, in any
// letter case. Under any other name it is the installer.
bool IsRemoverPath(std::string_view modulePath);

// Where the remover of the host at `hostPath` (with its trailing backslash) lies.
std::string RemoverPathFor(const std::string& hostPath);

// The host whose packages the remover at `modulePath` removes: the folder that holds its record
// folder; a copy elsewhere removes from `registryHost`, the host the registry names (possibly
// none: empty). With its trailing backslash.
std::string RemoverHost(std::string_view modulePath, const std::string& registryHost);

// The remover's command line (after its own name): "/S NAME" removes NAME without asking ("-S"
// too, in either case); NAME alone, or nothing, opens the dialog. NAME may be quoted.
struct RemoverCommand {
    bool silent = false;
    std::string name;
    bool valid = true;  // false: more than one name, or /S without one
};
RemoverCommand ParseRemoverCommand(std::string_view tail);

// The file version (most significant part first) in the bytes of a version resource; none when
// they hold no fixed file information.
std::optional<std::uint64_t> FileVersionIn(std::string_view versionResource);

// Whether a remover of version `own` replaces the copy `present` in the host (none: no copy, or
// one without a version). An equal version is kept: it is the same program, and a copy that is
// running is not disturbed.
constexpr bool ReplacesRemover(std::optional<std::uint64_t> present, std::uint64_t own) {
    return !present || *present < own;
}

// The exit code of a removal: 0 removed, 2 failed, 4 no such package (none at all included).
int RemoverExitCode(removal::RunStatus status);

// The message that reports `result` of removing `name` in `language`, and whether it reports a
// success (an information box rather than a warning).
struct RemoverReport {
    std::string text;
    bool success = false;
};
RemoverReport ReportOf(Language language, const std::string& name,
                       const removal::RunResult& result);

}  // namespace kolvane::app
