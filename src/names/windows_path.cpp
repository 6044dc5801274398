#include "names/windows_path.h"

#include "names/letter_case.h"

namespace kolvane::names {
namespace {

bool StartsWithDrive(std::string_view path) {
    const char letter = path.empty() ? '\0' : path[0];
    return path.size() >= 2 && path[1] == ':' &&
           ((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z'));
}

// The components of a path below its drive, with "." and ".." taken away; they point into
// `path`.
std::vector<std::string_view> Resolve(std::string_view path) {
    std::vector<std::string_view> components;
    ForEachPiece(path, [&](std::string_view component) {
        if (component == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        return true;
    });
    return components;
}

}  // namespace

std::vector<std::string_view> SplitAtSeparators(std::string_view path) {
    std::vector<std::string_view> pieces;
    ForEachPiece(path, [&](std::string_view piece) {
        pieces.push_back(piece);
        return true;
    });
    return pieces;
}

std::optional<char> DriveOfWindowsPath(std::string_view path) {
    if (!StartsWithDrive(path) || (path.size() > 2 && !IsSeparator(path[2])) ||
        path.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return path[0];
}

std::optional<WindowsPathComponent> NextWindowsPathComponent(std::string_view path,
                                                             std::size_t pos) {
    while (pos < path.size()) {
        std::size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end])) {
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
    for (const std::string_view component : Resolve(path.substr(2))) {
        parts.components.emplace_back(component);
    }
    parts.trailingSeparator = path.size() > 2 && IsSeparator(path.back());
    return parts;
}

std::string PathKey(std::string_view path) {
    std::string key;
    key.reserve(path.size() + 1);
    if (StartsWithDrive(path)) {
        key = {FoldCase(path[0]), ':'};
        path.remove_prefix(2);
    }
    for (const std::string_view component : Resolve(path)) {
        key += '\\';
        for (const char c : component) {
            key += FoldCase(c);
        }
    }
    return key;
}

std::string DirectoryPart(std::string_view path) {
    std::size_t last = path.size();
    while (last > 0 && !IsSeparator(path[last - 1])) {
        --last;
    }
    return std::string(last == 0 ? path : path.substr(0, last - 1));
}

std::string ShownPath(std::string_view path) {
    if (path.size() <= kShownPathLimit) {
        return std::string(path);
    }
    // A third of the room for the start, up to and with a separator in its nearer half; the
    // rest for the end, from a separator in its nearer half. Without one there, a part is cut
    // where its room ends, so that a long folder or file name is still shown in part.
    const std::size_t room = kShownPathLimit - kShownPathEllipsis.size();
    std::size_t head = room / 3;
    for (std::size_t at = head; at > head / 2; --at) {
        if (IsSeparator(path[at - 1])) {
            head = at;
            break;
        }
    }
    const std::size_t tailRoom = room - head;
    std::size_t tail = path.size() - tailRoom;
    for (std::size_t at = tail; at < tail + tailRoom / 2; ++at) {
        if (IsSeparator(path[at])) {
            tail = at;
            break;
        }
    }
    std::string shown(path.substr(0, head));
    shown += kShownPathEllipsis;
    shown += path.substr(tail);
    return shown;
}

}  // namespace kolvane::names
