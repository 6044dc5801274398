#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "check/findings.h"
#include "platform/disk_probe.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace kolvane::check {

using platform::DiskProbe;

// kolvane-check [--host] [-s] [--json] [--help] [package-folder]
struct CheckArguments {
    bool help = false;
    bool json = false;
    bool host = false;
    bool silent = false;
    std::string package = ".";
    std::string error;  // why the arguments cannot be used; empty when they can
};

CheckArguments ParseCheckArguments(const std::vector<std::string>& arguments);
std::string CheckUsage();

// Exit code when the check cannot run at all (bad arguments, no such folder).
inline constexpr int kExitCannotCheck = 3;

struct CheckSeams {
    platform::Files& files;
    DiskProbe& probe;
    platform::Registry& registry;  // the host lookup of the installer; read only by the dry run
};

// Checks the package in `packageDir` (Windows form, no trailing backslash): its script, file
// entries and texture entries, and with `dryRun` what an installation into the registered host
// would do (`silent` as the installer's -s). Nothing is written anywhere.
Report CheckPackage(const std::string& packageDir, bool dryRun, bool silent, CheckSeams seams);

// Turns Windows-1252 text into the bytes the output is written in.
using TextEncoder = std::function<std::string(std::string_view)>;

// One finding a line ("script:line: severity: message [code]"), then the plan and a summary.
std::string FormatText(const Report& report, const TextEncoder& encode);
// The same as one JSON object, in UTF-8 when `encode` gives UTF-8.
std::string FormatJson(const Report& report, const TextEncoder& encode);

}  // namespace kolvane::check
