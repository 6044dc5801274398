#include "platform/posix/windows_path.h"

namespace kolvane::platform {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::optional<WindowsPathParts> SplitWindowsPath(std::string_view path) {
    if (path.find('\0') != std::string_view::npos || path.size() < 2 || !IsLetter(path[0]) ||
        path[1] != ':') {
        return std::nullopt;
    }
    const std::string_view rest = path.substr(2);
    if (!rest.empty() && !IsSeparator(rest[0])) {
        return std::nullopt;
    }
    WindowsPathParts parts;
    parts.drive = path[0];
    parts.trailingSeparator = !rest.empty() && IsSeparator(rest.back());
    std::size_t begin = 0;
    while (begin < rest.size()) {
        std::size_t end = begin;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        const std::string_view component = rest.substr(begin, end - begin);
        if (component == "..") {
            if (!parts.components.empty()) {
                parts.components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            parts.components.emplace_back(component);
        }
        begin = end + 1;
    }
    return parts;
}

}  // namespace kolvane::platform
