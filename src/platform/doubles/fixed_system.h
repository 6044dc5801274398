#pragma once

#include <string>

#include "platform/system.h"

namespace kolvane::platform {

inline constexpr std::uint16_t kLangGermanAustria = 0x0C07;
inline constexpr std::uint16_t kLangFrenchFrance = 0x040C;

// A system with a fixed language and executable path, for tests.
class FixedSystem : public System {
  public:
    FixedSystem() = default;
    FixedSystem(std::uint16_t language, std::string moduleFileName)
        : language(language), moduleFileName(std::move(moduleFileName)) {}

    std::uint16_t DefaultLanguageId() override {
        ++languageQueries;
        return language;
    }
    std::string ModuleFileName() override { return moduleFileName; }

    std::uint16_t language = kLanguageEnglish;
    std::string moduleFileName = "C:\\Package\\Kolvane.exe";
    int languageQueries = 0;
};

}  // namespace kolvane::platform
