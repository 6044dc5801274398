#include "platform/posix/drive_map.h"

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

std::optional<std::string> DriveMap::ToHostPath(std::string_view windowsPath) const {
    if (windowsPath.size() < 2 || !IsLetter(windowsPath[0]) || windowsPath[1] != ':') {
        return std::nullopt;
    }
    auto drive = roots_.find(LowerLetter(windowsPath[0]));
    if (drive == roots_.end()) {
        return std::nullopt;
    }
    std::string_view rest = windowsPath.substr(2);
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') {
        return std::nullopt;
    }
    std::string host = drive->second == "/" ? std::string() : drive->second;
    for (char c : rest) {
        host += c == '\\' ? '/' : c;
    }
    if (host.empty()) {
        host = "/";
    }
    return host;
}

std::optional<std::string> DriveMap::ToWindowsPath(std::string_view hostPath) const {
    const std::pair<const char, std::string>* best = nullptr;
    for (const auto& drive : roots_) {
        const std::string& root = drive.second;
        const bool covers =
            root == "/" ? !hostPath.empty() && hostPath[0] == '/'
                        : hostPath.substr(0, root.size()) == root &&
                              (hostPath.size() == root.size() || hostPath[root.size()] == '/');
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
    std::string_view rest = hostPath.substr(best->second == "/" ? 0 : best->second.size());
    for (char c : rest) {
        windows += c == '/' ? '\\' : c;
    }
    if (windows.size() == 2) {
        windows += '\\';
    }
    return windows;
}

}  // namespace kolvane::platform
