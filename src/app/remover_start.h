#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages/messages.h"
#include "platform/files.h"
#include "records/installed.h"
#include "remove/program_entries.h"
#include "remove/removal_run.h"
#include "remove/remover.h"

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

// What removing an installation will do as `survey` found the host, one item a line in the
// language's words (at most twenty lines, then how many more): files deleted or put back,
// texture blocks removed or put back, and what stays because it was changed or replaced since.
std::string PlanLines(Language language, const removal::Survey& survey);

// The question asked once before `entry` (read, with its record) is removed as `survey` found
// the host.
std::string RemoveQuestion(Language language, const records::Installed& entry,
                           const removal::Survey& survey);

// One installed package as the remover's list shows it.
struct PackageRow {
    std::string key;    // the record's own name, which names it for the removal
    std::string name;   // as kolvane-remove --list names it
    std::string date;   // "2026-12-08 02:21 UTC"
    std::string state;  // ok, changed, interrupted or covered
    std::string size;   // of the files it put in place: "512 B", "12 KB", "31 MB"
};

// The packages of `installed` (the host's list, newest first) whose records can be read, in
// that order, with their states in the host at `hostPath`.
std::vector<PackageRow> PackageRows(platform::Files& files, const std::string& hostPath,
                                    const std::vector<records::Installed>& installed);

}  // namespace kolvane::app
