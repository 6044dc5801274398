#pragma once

#include <string>

namespace kolvane::platform {

// What the checker needs to know of the disk beyond the installer's own file operations. Paths
// are in Windows form, matched the way the platform's file operations match them.
class DiskProbe {
  public:
    enum class Kind { kMissing, kFile, kDirectory, kOther };
    struct Entry {
        Kind kind = Kind::kMissing;
        bool readOnly = false;
    };

    virtual ~DiskProbe() = default;

    virtual Entry Look(const std::string& path) = 0;
    // Whether `path` exists with every component in exactly the letter case written.
    virtual bool HasExactCase(const std::string& path) = 0;
};

}  // namespace kolvane::platform
