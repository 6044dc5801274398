#include "check/win32/win32_disk_probe.h"
#include "check_support.h"

namespace kolvane::testing {

std::unique_ptr<check::DiskProbe> MakeRealDiskProbe(platform::Files&) {
    return std::make_unique<check::Win32DiskProbe>();
}

}  // namespace kolvane::testing
