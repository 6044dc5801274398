#pragma once

#include "platform/disk_probe.h"
#include "platform/posix/posix_files.h"

namespace kolvane::platform {

// The disk as the posix file operations see it: paths mapped through their drive table, names
// matched in any letter case where the exact one is missing.
class PosixDiskProbe : public DiskProbe {
  public:
    explicit PosixDiskProbe(const PosixFiles& files) : files_(files) {}

    Entry Look(const std::string& path) override;
    bool HasExactCase(const std::string& path) override;

  private:
    const PosixFiles& files_;
};

}  // namespace kolvane::platform
