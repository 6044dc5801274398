#include "check_support.h"
#include "platform/win32/win32_disk_probe.h"

namespace kolvane::testing {

std::unique_ptr<platform::DiskProbe> MakeRealDiskProbe(platform::Files&) {
    return std::make_unique<platform::Win32DiskProbe>();
}

}  // namespace kolvane::testing
