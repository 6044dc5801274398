#pragma once

#include <cstdint>
#include <string>

namespace kolvane::platform {

// Facts about the running system and process.
class System {
  public:
    virtual ~System() = default;

    // The system's default language identifier (primary language in the low 10 bits).
    virtual std::uint16_t DefaultLanguageId() = 0;

    // The full path of the program's own executable, in Windows form (drive letter, backslashes).
    virtual std::string ModuleFileName() = 0;
};

}  // namespace kolvane::platform
