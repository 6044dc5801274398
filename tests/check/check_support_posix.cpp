#include "check_support.h"
#include "platform/posix/posix_disk_probe.h"

namespace kolvane::testing {

std::unique_ptr<platform::DiskProbe> MakeRealDiskProbe(platform::Files& realFiles) {
    return std::make_unique<platform::PosixDiskProbe>(
        dynamic_cast<platform::PosixFiles&>(realFiles));
}

}  // namespace kolvane::testing
