#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kolvane::testing {

struct ProcessRun {
    std::vector<std::string> args;  // args[0] is the program: a path, or a name looked up in PATH
    std::map<std::string, std::optional<std::string>> environment;  // set, or removed (nullopt)
    std::string input;                                              // all of standard input
    std::string directory;  // working directory; empty for the test's own
    int timeoutSeconds = 120;
};

struct ProcessResult {
    int exitCode = -1;  // -1 when the process did not exit by itself
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Starts a process with `run.input` on a pipe as its standard input, collects its output and
// waits for it; a process still running after the timeout is killed.
ProcessResult RunProcess(const ProcessRun& run);

// The first of `names` that is an executable in PATH, or the first existing path of `fallbacks`.
std::optional<std::string> FindProgram(const std::vector<std::string>& names,
                                       const std::vector<std::string>& fallbacks = {});

}  // namespace kolvane::testing
