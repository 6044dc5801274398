#include "install/host_locator.h"

#include <algorithm>

namespace kolvane {

using platform::ScopedRegKey;

HostLocator::HostLocator(platform::Registry& registry) : m_registry(registry) {
    FindHostPath();
}

HResult HostLocator::FindHostPath() {
    m_hostPath.clear();

    ScopedRegKey software(m_registry);
    if (!software.Open(platform::kClassesRoot, "Software")) {
        return kFailed;
    }
    ScopedRegKey maker(m_registry);
    const bool makerOpen = maker.Open(software.Get(), "Tessaline");
    software.Close();
    if (!makerOpen) {
        return kFailed;
    }
    // QZ is only the fallback for a system where HMDX cannot be opened at all.
    ScopedRegKey product(m_registry);
    const bool productOpen = product.Open(maker.Get(), "HMDX") || product.Open(maker.Get(), "QZ");
    maker.Close();
    if (!productOpen) {
        return kFailed;
    }

    std::uint8_t buffer[kValueBufferSize] = {};
    std::uint32_t size = kValueBufferSize;
    std::uint32_t type = platform::kRegNone;  // whatever the value's type, its bytes are the path
    const platform::RegResult queried =
        m_registry.QueryValue(product.Get(), "AppPath", type, buffer, size);
    product.Close();
    if (queried != platform::kErrorSuccess) {
        return kFailed;
    }

    // The text ends at its first NUL, or at the end of the bytes stored when it has none.
    const std::uint8_t* end = std::find(buffer, buffer + std::min(size, kValueBufferSize), 0);
    const std::string value(reinterpret_cast<const char*>(buffer),
                            static_cast<std::size_t>(end - buffer));

    // Keep everything up to and including the last backslash. A value without any backslash
    // names no directory at all: no host.
    const std::size_t lastBackslash = value.rfind('\\');
    if (lastBackslash == std::string::npos) {
        return kFailed;
    }
    m_hostPath = value.substr(0, lastBackslash + 1);
    return kSucceeded;
}

}  // namespace kolvane
