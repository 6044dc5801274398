#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "check/checker.h"

namespace kolvane::check {

using platform::DiskProbe;

// What a kolvane-check program supplies of its platform.
struct CheckProgramSeams {
    platform::Files& files;
    DiskProbe& probe;
    platform::Registry& registry;
    // The package folder as given on the command line, in Windows form without a trailing
    // backslash; none when it is no folder or cannot be named there.
    std::function<std::optional<std::string>(const std::string& folder)> packagePath;
    TextEncoder encode;  // Windows-1252 to the output's encoding
    // A command-line argument (in the encoding the program is given its arguments in) as the
    // output shows it: through the visible-text rule of that encoding.
    TextEncoder showArgument;
};

// The whole program after start-up: arguments (without the program's name) to exit code, the
// report on `out`, usage errors on `err`.
int RunCheckProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                    CheckProgramSeams seams);

}  // namespace kolvane::check
