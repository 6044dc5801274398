#pragma once

#include "platform/system.h"

namespace kolvane::platform {

// The running Windows system: GetSystemDefaultLangID and GetModuleFileNameA.
class Win32System : public System {
  public:
    std::uint16_t DefaultLanguageId() override;
    std::string ModuleFileName() override;
};

}  // namespace kolvane::platform
