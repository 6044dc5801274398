#pragma once

#include <string>

#include "platform/registry.h"

namespace kolvane {

// The host's installation directory, found in the registry when constructed: the value "AppPath"
// of the host's key for HMDX, or for QZ when HMDX cannot be opened.
class HostLocator {
  public:
    explicit HostLocator(platform::Registry& registry);

    bool HostFound() const { return !m_hostPath.empty(); }
    // The host directory, ending in a backslash; empty when no host was found.
    const std::string& HostPath() const { return m_hostPath; }

  private:
    // The lookup: true when it set m_hostPath.
    bool FindHostPath(platform::Registry& registry);

    std::string m_hostPath;
};

}  // namespace kolvane
