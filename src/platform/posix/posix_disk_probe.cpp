#include "platform/posix/posix_disk_probe.h"

#include <sys/stat.h>

#include <optional>

#include "names/windows_path.h"
#include "names/windows_text.h"

namespace kolvane::platform {

DiskProbe::Entry PosixDiskProbe::Look(const std::string& path) {
    struct stat status {};
    if (!files_.Status(path, status)) {
        return {};
    }
    Entry entry;
    entry.kind = S_ISREG(status.st_mode)   ? Kind::kFile
                 : S_ISDIR(status.st_mode) ? Kind::kDirectory
                                           : Kind::kOther;
    entry.readOnly = (status.st_mode & S_IWUSR) == 0;
    return entry;
}

bool PosixDiskProbe::HasExactCase(const std::string& path) {
    // The path with every component as written, no case-insensitive matching on the way.
    const std::optional<names::WindowsPathParts> parts = names::SplitWindowsPath(path);
    if (!parts) {
        return false;
    }
    const std::optional<std::string> root =
        files_.Drives().ToNativePath(std::string{parts->drive, ':'});
    if (!root) {
        return false;
    }
    std::string literal = *root == "/" ? std::string() : *root;
    for (const std::string& component : parts->components) {
        literal += '/';
        literal += names::Windows1252ToUtf8(component);
    }
    struct stat status {};
    return ::lstat(literal.empty() ? "/" : literal.c_str(), &status) == 0;
}

}  // namespace kolvane::platform
