#pragma once

#include <string>

#include "platform/posix/drive_map.h"

namespace kolvane::platform {

// The home directory: `home` (the value of HOME) when set, otherwise the user's home directory
// from the user database; without trailing slashes except for "/" itself.
std::string HomeDirectory(const char* home);

// The Wine prefix to read: `winePrefix` (the value of WINEPREFIX) when set and not empty,
// otherwise ".wine" in `home` (the value of HOME, or the user's home directory when HOME is unset).
std::string WinePrefixDirectory(const char* winePrefix, const char* home);

// The drive letters of the prefix: every link "x:" in its dosdevices folder, each standing for the
// directory the link leads to. A missing prefix gives no drives.
DriveMap ReadDriveMap(const std::string& prefix);

// Makes sure some drive covers the whole file system, as Wine does: when no drive leads to "/",
// Z: does, or the last free letter before it when Z: is taken. Returns that drive's letter
// (lower case), or 0 when every letter is taken.
char CoverFileSystemRoot(DriveMap& drives);

// The prefix the environment names (WINEPREFIX, HOME) and its drives, the whole file system
// covered: what both programs read the host and the package through.
struct WinePrefix {
    std::string directory;
    DriveMap drives;
};
WinePrefix WinePrefixFromEnvironment();
// The prefix in `directory` and its drives, the whole file system covered. An empty `directory`
// stands for no prefix: then only that cover is there.
WinePrefix WinePrefixAt(std::string directory);

}  // namespace kolvane::platform
