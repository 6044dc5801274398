#pragma once

#include "platform/registry.h"

namespace kolvane::platform {

// The registry seam on the Windows registry itself: RegOpenKeyExA, RegQueryValueExA, RegCloseKey.
class Win32Registry : public Registry {
  public:
    RegResult OpenKey(RegKey parent, const std::string& subkey, std::uint32_t access,
                      RegKey& result) override;
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                         std::uint8_t* data, std::uint32_t& size) override;
    RegResult CloseKey(RegKey key) override;
};

}  // namespace kolvane::platform
