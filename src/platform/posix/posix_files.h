#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/posix/deferred_close.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/path_resolver.h"
#include "platform/write_core.h"

namespace kolvane::platform {

// The primitives of a POSIX file system, for paths in Windows form mapped through a drive table
// the way Wine maps them.
//
// A present file may be written when the calling user may write it; for root, whom the system
// lets write anything, only when its owner may, which is what read-only means under Wine. Files
// are reached through descriptors of their folders, never through their whole path, so that the
// system's limit on path length does not limit the depth. A lock (LockResult) is an
// open-file-description record lock (fcntl F_OFD_SETLK) on the byte at 2^62, the lock that Wine
// takes for Kolvane.exe's LockFileEx on that byte.
class PosixFileSystem : public FileSystem {
  public:
    explicit PosixFileSystem(DriveMap drives);
    ~PosixFileSystem() override;
    PosixFileSystem(const PosixFileSystem&) = delete;
    PosixFileSystem& operator=(const PosixFileSystem&) = delete;

    std::unique_ptr<NativeFile> OpenForReading(const std::string& path, bool othersWrite,
                                               OpenError& error) override;
    std::unique_ptr<NativeFile> OpenForClaim(const std::string& path) override;
    Sight Look(const std::string& path, bool open, bool real) override;
    std::optional<std::string> RealPath(const std::string& path) override;
    bool Contains(const std::string& folder, const std::string& path) const override;
    bool Names(const std::string& path, const NativeFile& file, bool unchanged) override;
    std::unique_ptr<Spot> SpotOf(const std::string& path, const Sight* present) override;
    MadeFolder MakeDirectory(const std::string& path) override;
    bool RemoveEmptyDirectory(const std::string& path) override;
    bool SetNormalAttributes(const std::string& path, const FileInfo* known) override;
    void Pause(std::chrono::milliseconds time) override;

    // Where a Windows-form path lies on this file system, or none when it lies on no drive.
    std::optional<std::string> NativePath(const std::string& windowsPath);
    // What the path names, as stat(2) describes it (links followed); false when nothing.
    bool Status(const std::string& windowsPath, struct stat& status);
    const DriveMap& Drives() const { return drives_; }

  private:
    friend class PosixSpot;
    friend class PosixFile;

    DriveMap drives_;
    PathResolver resolver_;  // keeps what it has read of the disk
    mode_t umask_ = 0;       // the process's, as it was when the file system was made
    // A folder (its node) where a file made with these permissions kept them: no umask or
    // default ACL of the folder takes bits away.
    std::pair<std::size_t, mode_t> modeKept_{static_cast<std::size_t>(-1), 0};
    bool renameKeepsNoTarget_ = false;  // the file system cannot rename only onto a free name
    // Removed files are held open while their names go and closed here: freeing their blocks
    // is the slow part of a removal where the disk is told of every freed block, and a disk
    // serves many such requests at once.
    DeferredClose removed_{16};
};

// Holds the file system for the write core, which is built on it.
class PosixFileSystemHolder {
  protected:
    explicit PosixFileSystemHolder(DriveMap drives) : posix_(std::move(drives)) {}
    mutable PosixFileSystem posix_;  // the resolver learns also while it answers
};

// The file seam of the native program: the write core on the POSIX file system.
class PosixFiles : private PosixFileSystemHolder, public WriteCore {
  public:
    explicit PosixFiles(DriveMap drives)
        : PosixFileSystemHolder(std::move(drives)), WriteCore(posix_) {}

    std::optional<std::string> NativePath(const std::string& windowsPath) const {
        return posix_.NativePath(windowsPath);
    }
    bool Status(const std::string& windowsPath, struct stat& status) const {
        return posix_.Status(windowsPath, status);
    }
    const DriveMap& Drives() const { return posix_.Drives(); }
};

}  // namespace kolvane::platform
