#include "platform/posix/windows_path.h"

namespace kolvane::platform {
namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool IsWindowsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::optional<char> DriveOfWindowsPath(std::string_view path) {
    if (path.size() < 2 || !IsLetter(path[0]) || path[1] != ':' ||
        (path.size() > 2 && !IsWindowsSeparator(path[2])) ||
        path.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return path[0];
}

std::optional<WindowsPathComponent> NextWindowsPathComponent(std::string_view path,
                                                             std::size_t pos) {
    while (pos < path.size()) {
        std::size_t end = pos;
        while (end < path.size() && !IsWindowsSeparator(path[end])) {
            ++end;
        }
        const std::string_view component = path.substr(pos, end - pos);
        if (!component.empty() && component != ".") {
            return WindowsPathComponent{component, end};
        }
        pos = end + 1;
    }
    return std::nullopt;
}

std::optional<WindowsPathParts> SplitWindowsPath(std::string_view path) {
    const std::optional<char> drive = DriveOfWindowsPath(path);
    if (!drive) {
        return std::nullopt;
    }
    WindowsPathParts parts;
    parts.drive = *drive;
    parts.trailingSeparator = path.size() > 2 && IsWindowsSeparator(path.back());
    for (auto component = NextWindowsPathComponent(path, 2); component;
         component = NextWindowsPathComponent(path, component->end)) {
        if (component->text != "..") {
            parts.components.emplace_back(component->text);
        } else if (!parts.components.empty()) {
            parts.components.pop_back();
        }
    }
    return parts;
}

}  // namespace kolvane::platform
