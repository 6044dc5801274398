#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/path_resolver.h"

namespace kolvane::platform {

// The file operations on a POSIX file system, for paths in Windows form mapped through a drive
// table the way Wine maps them. Read-only means that the owner may not write, and that is
// honoured even for root.
class PosixFiles : public Files {
  public:
    explicit PosixFiles(DriveMap drives) : drives_(std::move(drives)), resolver_(drives_) {}

    FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(FileHandle file, FileTime& time) override;
    void CloseFile(FileHandle file) override;
    DirectoryResult MakeDirectory(const std::string& path) override;
    bool CopyFileOver(const std::string& source, const std::string& destination) override;
    bool SetNormalAttributes(const std::string& path) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;

    // Where a Windows-form path lies on this file system, or none when it lies on no drive.
    std::optional<std::string> NativePath(const std::string& windowsPath) const;
    // What the path names, as stat(2) describes it (links followed); false when nothing.
    bool Status(const std::string& windowsPath, struct stat& status) const;

    const DriveMap& Drives() const { return drives_; }

  private:
    DriveMap drives_;
    mutable PathResolver resolver_;  // keeps what it has read of the disk
};

}  // namespace kolvane::platform
