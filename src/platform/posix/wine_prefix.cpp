#include "platform/posix/wine_prefix.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;

bool IsDriveName(const std::string& name) {
    return name.size() == 2 && name[1] == ':' &&
           ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
}

// Where a drive link leads: the canonical directory when it exists, else the link's target
// cleaned up lexically.
std::string DriveRoot(const fs::path& link) {
    struct FreeDeleter {
        void operator()(char* p) const { std::free(p); }
    };
    const std::unique_ptr<char, FreeDeleter> resolved(::realpath(link.c_str(), nullptr));
    if (resolved) {
        return resolved.get();
    }
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    if (error) {
        return {};
    }
    return (target.is_absolute() ? target : link.parent_path() / target)
        .lexically_normal()
        .string();
}

}  // namespace

std::string HomeDirectory(const char* home) {
    std::string homeDirectory = home != nullptr ? home : "";
    if (home == nullptr) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir) {
            homeDirectory = user->pw_dir;
        }
    }
    while (homeDirectory.size() > 1 && homeDirectory.back() == '/') {
        homeDirectory.pop_back();
    }
    return homeDirectory;
}

std::string WinePrefixDirectory(const char* winePrefix, const char* home) {
    if (winePrefix != nullptr && *winePrefix != '\0') {
        return winePrefix;
    }
    const std::string homeDirectory = HomeDirectory(home);
    return (homeDirectory == "/" ? "" : homeDirectory) + "/.wine";
}

DriveMap ReadDriveMap(const std::string& prefix) {
    DriveMap drives;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(prefix) / "dosdevices", error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!IsDriveName(name)) {
            continue;  // devices such as com1, and the raw devices "c::"
        }
        std::string root = DriveRoot(it->path());
        if (!root.empty() && root.front() == '/') {
            drives.Assign(name[0], std::move(root));
        }
    }
    return drives;
}

char CoverFileSystemRoot(DriveMap& drives) {
    for (const auto& [letter, root] : drives.Roots()) {
        if (root == "/") {
            return letter;
        }
    }
    for (char letter = 'z'; letter >= 'c'; --letter) {
        if (drives.Roots().count(letter) == 0) {
            drives.Assign(letter, "/");
            return letter;
        }
    }
    return 0;
}

WinePrefix WinePrefixFromEnvironment() {
    return WinePrefixAt(WinePrefixDirectory(std::getenv("WINEPREFIX"), std::getenv("HOME")));
}

WinePrefix WinePrefixAt(std::string directory) {
    WinePrefix prefix{std::move(directory), {}};
    if (!prefix.directory.empty()) {
        prefix.drives = ReadDriveMap(prefix.directory);
    }
    CoverFileSystemRoot(prefix.drives);
    return prefix;
}

}  // namespace kolvane::platform
