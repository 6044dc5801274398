#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "check/checker.h"
#include "platform/doubles/memory_registry.h"
#include "support/real_files.h"

namespace kolvane::testing {

// The disk probe that goes with MakeRealFiles: by the same drive table on Linux.
std::unique_ptr<platform::DiskProbe> MakeRealDiskProbe(platform::Files& realFiles);

// The checker's seams on the real disk, with an in-memory registry.
struct CheckEnvironment {
    CheckEnvironment() : files(MakeRealFiles()), probe(MakeRealDiskProbe(*files)) {}
    CheckEnvironment(std::unique_ptr<platform::Files> files,
                     std::unique_ptr<platform::DiskProbe> probe)
        : files(std::move(files)), probe(std::move(probe)) {}

    check::Report Check(const std::string& packageDir) {
        return check::CheckPackage(packageDir, false, false, Seams(registry));
    }
    // With a dry run against the host that `hostRegistry` names.
    check::Report Check(const std::string& packageDir, platform::Registry& hostRegistry,
                        bool silent = false) {
        return check::CheckPackage(packageDir, true, silent, Seams(hostRegistry));
    }
    check::CheckSeams Seams(platform::Registry& hostRegistry) {
        return {*files, *probe, hostRegistry};
    }

    std::unique_ptr<platform::Files> files;
    std::unique_ptr<platform::DiskProbe> probe;
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
