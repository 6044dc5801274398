#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kolvane::check {

// Error: the installation will fail or do harm. Warning: it will do something the author
// probably did not mean.
enum class Severity { kWarning, kError };

struct Finding {
    Severity severity = Severity::kWarning;
    int line = 0;        // the script line it concerns; 0 where none can be known
    std::string code{};  // a short fixed name of the kind of finding, such as "source-missing"
    std::string message{};
    std::vector<std::string> paths{};  // the paths `message` names, shortened in the text report
};

// The installed package on top of a file or texture block, by the host's install records.
struct Owner {
    std::string name{};  // as kolvane-remove lists it, and as it takes it
    std::string date{};  // when it was installed: UTC, ISO 8601
};

// What the dry run expects the installer to do with one entry.
struct PlanStep {
    int line = 0;
    std::string section{};  // "files" or "textures"
    std::string action{};   // files: create, replace, ask, keep, fail, skip; textures: add,
                            // replace, remove, nothing, skip
    std::string subject{};  // the destination path, or the texture's identifier
    std::string detail{};   // why, where, or what else happens
    std::vector<std::string> paths{};  // the paths `subject` and `detail` name, as `paths` above
    // Of the file or texture block that the step replaces; none where no record put it there.
    std::optional<Owner> owner{};
};

struct Report {
    std::string script{};  // the script's path as shown to the user
    std::vector<Finding> findings;
    bool dryRun = false;
    std::string host{};  // the host folder the dry run found
    std::vector<PlanStep> plan;
    std::string outcome{};  // the installation's closing message in the dry run

    void Add(Severity severity, int line, std::string code, std::string message,
             std::vector<std::string> paths = {}) {
        findings.push_back({severity, line, std::move(code), std::move(message), std::move(paths)});
    }
    int Count(Severity severity) const;
    // 0 without findings, 1 with warnings only, 2 with an error.
    int ExitCode() const;
};

}  // namespace kolvane::check
