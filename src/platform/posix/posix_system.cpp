#include "platform/posix/posix_system.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>

#include "names/windows_text.h"

namespace kolvane::platform {
namespace {

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

std::optional<std::string> ReadLink(const char* path) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(path, buffer.data(), buffer.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::uint16_t LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* setting = IsSet(lcAll) ? lcAll : IsSet(lcMessages) ? lcMessages : lang;
    if (!IsSet(setting)) {
        return kLanguageEnglish;
    }
    const std::string_view value(setting);
    const std::string_view language = value.substr(0, value.find_first_of("_.@"));
    return language == "de" ? kLanguageGerman : kLanguageEnglish;
}

std::string WindowsPathOf(const std::string& nativePath, const DriveMap& drives) {
    const std::optional<std::string> windows = drives.ToWindowsPath(nativePath);
    return windows ? names::Utf8ToWindows1252(*windows) : std::string();
}

std::uint16_t PosixSystem::DefaultLanguageId() {
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::string ExecutablePath() {
    return ReadLink("/proc/self/exe").value_or(std::string());
}

std::string PosixSystem::ModuleFileName() {
    const std::string path = modulePath_.empty() ? ExecutablePath() : modulePath_;
    return path.empty() ? std::string() : WindowsPathOf(path, drives_);
}

}  // namespace kolvane::platform
