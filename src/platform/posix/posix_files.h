#pragma once

#include <sys/stat.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/path_resolver.h"

namespace kolvane::platform {

// The file operations on a POSIX file system, for paths in Windows form mapped through a drive
// table the way Wine maps them.
//
// A present file is replaced only when the calling user may write it; for root, whom the system
// lets write anything, only when its owner may, which is what read-only means under Wine. A file
// is replaced by a temporary file ".name.kolvane-XXXXXX" beside it that is renamed over it when
// complete; where a symbolic link stands, beside the file it leads to, and the link stays. A file
// with several names, or one in a folder that takes no new files, is written in place instead. A
// new file in a folder this run made is renamed into place only while its name is still free.
//
// A claim (ClaimForUpdate) is an open-file-description record lock (fcntl F_OFD_SETLK) on the byte
// at 2^62, the lock that Wine takes for Kolvane.exe's LockFileEx on that byte: the two programs
// shut each other out. Temporary files are locked while they are written, which tells a run's
// clean-up of what killed runs left from the files of a run that is still going.
class PosixFiles : public Files {
  public:
    explicit PosixFiles(DriveMap drives);
    ~PosixFiles() override;
    PosixFiles(const PosixFiles&) = delete;
    PosixFiles& operator=(const PosixFiles&) = delete;

    FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(FileHandle file, FileTime& time) override;
    void CloseFile(FileHandle file) override;
    DirectoryResult MakeDirectory(const std::string& path) override;
    bool CopyFileOver(const std::string& source, const std::string& destination) override;
    bool SetNormalAttributes(const std::string& path) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;
    Location LocateIn(const std::string& path, const std::string& folder) override;
    ClaimResult ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                               FileHandle& claim) override;

    // Where a Windows-form path lies on this file system, or none when it lies on no drive.
    std::optional<std::string> NativePath(const std::string& windowsPath) const;
    // What the path names, as stat(2) describes it (links followed); false when nothing.
    bool Status(const std::string& windowsPath, struct stat& status) const;

    const DriveMap& Drives() const { return drives_; }

  private:
    struct Claim;

    // CopyFileOver; `trustMadeFolders`: a name this run has not put into a folder it made is
    // taken to be free, which the rename checks.
    bool Copy(const std::string& source, const std::string& destination, bool trustMadeFolders);

    // Removes what killed runs left beside the files of the folder `directory`, once per folder.
    void RemoveLeftovers(int directory);
    // The same before a write of the file at `place` (`viaLink`: of the file its link leads to,
    // in `directory`).
    void RemoveLeftovers(const PathResolver::Place& place, int directory, bool viaLink);

    DriveMap drives_;
    mutable PathResolver resolver_;  // keeps what it has read of the disk
    std::map<FileHandle, Claim> claims_;
    std::set<std::pair<dev_t, ino_t>> tidied_;  // folders whose leftovers were removed
    // The file CopyFileOver wrote last (its node) and the permissions it gave it, until the
    // next call that writes.
    std::optional<std::pair<std::size_t, mode_t>> written_;
    mode_t umask_ = 0;  // the process's, as it was when the seam was made
    // A folder (its node) where a copy made with these permissions kept them.
    std::pair<std::size_t, mode_t> modeKept_{static_cast<std::size_t>(-1), 0};
    bool renameKeepsNoTarget_ = false;  // the file system cannot rename only onto a free name
    std::string folder_;                // the folder LocateIn resolved last
    bool folderFound_ = false;          // whether it is there
    std::string folderReal_;            // and where it really is
    std::string real_;                  // where LocateIn's path really is
};

}  // namespace kolvane::platform
