#pragma once

#include "platform/disk_probe.h"

namespace kolvane::platform {

// The disk as the Win32 file functions see it.
class Win32DiskProbe : public DiskProbe {
  public:
    Entry Look(const std::string& path) override;
    bool HasExactCase(const std::string& path) override;
};

}  // namespace kolvane::platform
