#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kolvane::platform {

// The drive letters of a Wine-style prefix: each letter stands for a directory of the native
// file system (for a Wine prefix, its dosdevices links; z: is usually /).
class DriveMap {
  public:
    // Assigns `letter` (either case) to the directory `root`, an absolute path.
    void Assign(char letter, std::string root);
    bool Empty() const { return roots_.empty(); }
    const std::map<char, std::string>& Roots() const { return roots_; }

    // "C:\Dir\File" -> "<root of C>/Dir/File". Only the drive and the separators are translated;
    // the components stay as they are. None for a path without a known drive, and for a
    // drive-relative path such as "C:File".
    std::optional<std::string> ToNativePath(std::string_view windowsPath) const;

    // "/prefix/drive_c/Dir" -> "C:\Dir", through the drive whose directory is the longest one
    // that holds the path. None when no drive covers it.
    std::optional<std::string> ToWindowsPath(std::string_view nativePath) const;

  private:
    std::map<char, std::string> roots_;  // lower-case letter -> directory without trailing slash
};

}  // namespace kolvane::platform
