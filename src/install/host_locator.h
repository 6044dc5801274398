#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace kolvane {

// HRESULT-style results of whole-run and lookup operations; any negative value is a failure.
using HResult = std::int32_t;
inline constexpr HResult kSucceeded = 0;
inline constexpr HResult kFailed = static_cast<HResult>(0x80004005);  // E_FAIL

// Finds the host's installation directory in the registry when it is constructed: the value
// "AppPath" under Software\Tessaline\HMDX, or under ...\QZ when HMDX cannot be opened.
class HostLocator {
  public:
    explicit HostLocator(platform::Registry& registry);

    bool HostFound() const { return !m_hostPath.empty(); }
    // The host directory, ending in a backslash; empty when no host was found.
    const std::string& HostPath() const { return m_hostPath; }

    // The lookup itself; the constructor has run it already.
    HResult FindHostPath();

    static constexpr std::uint32_t kValueBufferSize = 260;

  protected:
    std::string m_hostPath;

  private:
    platform::Registry& m_registry;
};

}  // namespace kolvane
