#pragma once

#include <cstdint>
#include <string>

namespace kolvane::platform {

// Windows language identifiers: the primary language in the low 10 bits, the region above.
inline constexpr std::uint16_t kLanguageGerman = 0x0407;   // German (Germany)
inline constexpr std::uint16_t kLanguageEnglish = 0x0409;  // English (United States)

constexpr std::uint16_t PrimaryLanguage(std::uint16_t languageId) {
    return languageId & 0x3FF;
}

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
