#include "install/host_locator.h"

#include "platform/host_key.h"
#include "textures/registry_path.h"

namespace kolvane {

using platform::ScopedRegKey;

HostLocator::HostLocator(platform::Registry& registry) {
    FindHostPath(registry);
}

bool HostLocator::FindHostPath(platform::Registry& registry) {
    // Each key is closed as soon as the next level is open.
    ScopedRegKey software(registry);
    if (!software.Open(platform::kHostRoot, platform::kHostMakerKeys[0])) {
        return false;
    }
    ScopedRegKey maker(registry);
    const bool makerOpen = maker.Open(software.Get(), platform::kHostMakerKeys[1]);
    software.Close();
    if (!makerOpen) {
        return false;
    }
    // QZ is only the fallback for a system where HMDX cannot be opened at all.
    ScopedRegKey product(registry);
    bool productOpen = false;
    for (const char* name : platform::kHostProducts) {
        productOpen = productOpen || product.Open(maker.Get(), name);
    }
    maker.Close();
    if (!productOpen) {
        return false;
    }

    // Whatever the value's type, its bytes are the path.
    std::uint32_t type = platform::kRegNone;
    std::string value;
    const bool read = ReadRegistryText(registry, product.Get(), "AppPath", type, value);
    product.Close();
    if (!read) {
        return false;
    }

    // Keep everything up to and including the last backslash. A value without any backslash
    // names no directory at all: no host.
    const std::size_t lastBackslash = value.rfind('\\');
    if (lastBackslash == std::string::npos) {
        return false;
    }
    m_hostPath = value.substr(0, lastBackslash + 1);
    return true;
}

}  // namespace kolvane
