#pragma once

#include <string>

#include "check/dry_run_seams.h"
#include "check/findings.h"
#include "check/script_check.h"
#include "platform/disk_probe.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace kolvane::check {

using platform::DiskProbe;

struct DryRunSeams {
    platform::Registry& registry;
    platform::Files& files;  // the real ones; only read
    DiskProbe& probe;
};

// Runs the installer itself on `packageDir` (Windows form, no trailing backslash) against the
// host that the registry names, with file operations that only record, and adds to `report`
// what each entry would do, and an error for each thing that would fail. `silent` stands for
// the installer's -s. Returns the recorded events.
DryRunLog DryRun(DryRunSeams seams, const std::string& packageDir, bool silent,
                 const SectionRead& fileSection, const SectionRead& textureSection, Report& report);

}  // namespace kolvane::check
