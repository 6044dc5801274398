#pragma once

#include <optional>

#include "install/installer.h"

namespace kolvane::app {

// The exit codes of both programs, for the scripts that call them.
inline constexpr int kExitSucceeded = 0;    // an installation succeeded, or Quit
inline constexpr int kExitStrictParse = 1;  // the command-line library's strict mode
inline constexpr int kExitFailed = 2;       // the installation ended with the failure message
inline constexpr int kExitHelp = 3;         // the usage text was shown (the library ends there)
inline constexpr int kExitNoPackage = 4;    // the remover: no installed package of that name

// The exit code of a dialog that ended after `outcome`, or after Quit when there is none.
constexpr int ExitCodeOf(std::optional<InstallOutcome> outcome) {
    return outcome == InstallOutcome::kFailed ? kExitFailed : kExitSucceeded;
}

}  // namespace kolvane::app
