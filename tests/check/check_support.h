#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "check/checker.h"
#include "check/posix/posix_disk_probe.h"
#include "platform/doubles/memory_registry.h"
#include "platform/posix/posix_files.h"

namespace kolvane::testing {

// The checker's seams on the real disk, seen through drive Z: as "/", with an in-memory registry.
struct CheckEnvironment {
    explicit CheckEnvironment(platform::DriveMap drives = RootDrive())
        : files(std::move(drives)), probe(files) {}

    check::Report Check(const std::string& packageDir, bool dryRun = false, bool silent = false) {
        return check::CheckPackage(packageDir, dryRun, silent, {files, probe, registry});
    }
    check::Report Check(const std::string& packageDir, platform::Registry& hostRegistry,
                        bool silent = false) {
        return check::CheckPackage(packageDir, true, silent, {files, probe, hostRegistry});
    }

    static platform::DriveMap RootDrive() {
        platform::DriveMap drives;
        drives.Assign('z', "/");
        return drives;
    }

    platform::PosixFiles files;
    check::PosixDiskProbe probe;
    platform::MemoryRegistry registry;
};

// A finding reduced to what the tests compare.
using FindingKey = std::tuple<check::Severity, int, std::string>;

inline std::vector<FindingKey> Keys(const check::Report& report) {
    std::vector<FindingKey> keys;
    for (const check::Finding& finding : report.findings) {
        keys.emplace_back(finding.severity, finding.line, finding.code);
    }
    return keys;
}

}  // namespace kolvane::testing
