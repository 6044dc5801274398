#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/posix/drive_map.h"
#include "platform/system.h"

namespace kolvane::platform {

// The language of a locale setting: the first of the three values that is set and not empty
// decides; kLanguageGerman when its language part is "de", kLanguageEnglish for everything else.
std::uint16_t LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

// A native path in Windows form through the drive table, UTF-8 names turned into Windows-1252.
// Empty when no drive covers the path.
std::string WindowsPathOf(const std::string& nativePath, const DriveMap& drives);

// The running executable's host path, from /proc/self/exe; empty when it cannot be read.
std::string ExecutablePath();

// The running process on Linux: the language from LC_ALL, LC_MESSAGES and LANG, read at every
// call; the executable's path as the prefix's drives name it. That path is `modulePath` (a host
// path) when given, for a program that acts as if it lay in another folder, otherwise the
// running executable's.
class PosixSystem : public System {
  public:
    explicit PosixSystem(DriveMap drives, std::string modulePath = {})
        : drives_(std::move(drives)), modulePath_(std::move(modulePath)) {}

    std::uint16_t DefaultLanguageId() override;
    std::string ModuleFileName() override;

  private:
    DriveMap drives_;
    std::string modulePath_;
};

}  // namespace kolvane::platform
