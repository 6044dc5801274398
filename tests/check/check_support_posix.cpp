#include "check/posix/posix_disk_probe.h"
#include "check_support.h"

namespace kolvane::testing {

std::unique_ptr<check::DiskProbe> MakeRealDiskProbe(platform::Files& realFiles) {
    return std::make_unique<check::PosixDiskProbe>(dynamic_cast<platform::PosixFiles&>(realFiles));
}

}  // namespace kolvane::testing
