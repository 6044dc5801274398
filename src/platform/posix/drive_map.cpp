#include "platform/posix/drive_map.h"

#include "names/windows_path.h"

namespace kolvane::platform {
namespace {

char LowerLetter(char letter) {
    return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

void DriveMap::Assign(char letter, std::string root) {
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    roots_[LowerLetter(letter)] = std::move(root);
}

std::optional<std::string> DriveMap::ToNativePath(std::string_view windowsPath) const {
    if (windowsPath.size() < 2 || !IsLetter(windowsPath[0]) || windowsPath[1] != ':') {
        return std::nullopt;
    }
    auto drive = roots_.find(LowerLetter(windowsPath[0]));
    if (drive == roots_.end()) {
        return std::nullopt;
    }
    std::string_view rest = windowsPath.substr(2);
    if (!rest.empty() && !names::IsSeparator(rest[0])) {
        return std::nullopt;
    }
    std::string native = drive->second == "/" ? std::string() : drive->second;
    for (char c : rest) {
        native += c == '\\' ? '/' : c;
    }
    if (native.empty()) {
        native = "/";
    }
    return native;
}

std::optional<std::string> DriveMap::ToWindowsPath(std::string_view nativePath) const {
    const std::pair<const char, std::string>* best = nullptr;
    for (const auto& drive : roots_) {
        const std::string& root = drive.second;
        const bool covers =
            root == "/" ? !nativePath.empty() && nativePath[0] == '/'
                        : nativePath.substr(0, root.size()) == root &&
                              (nativePath.size() == root.size() || nativePath[root.size()] == '/');
        if (covers && (best == nullptr || root.size() > best->second.size())) {
            best = &drive;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    std::string windows;
    windows += static_cast<char>(best->first - 'a' + 'A');
    windows += ':';
    std::string_view rest = nativePath.substr(best->second == "/" ? 0 : best->second.size());
    for (char c : rest) {
        windows += c == '/' ? '\\' : c;
    }
    if (windows.size() == 2) {
        windows += '\\';
    }
    return windows;
}

}  // namespace kolvane::platform
