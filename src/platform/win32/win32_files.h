#pragma once

#include "platform/files.h"

namespace kolvane::platform {

// The file seam on the Windows file system. Copies and rewrites go to a temporary file beside the
// target first and replace the target only when complete, so a failure never leaves a good file
// half written.
class Win32Files : public Files {
  public:
    FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(FileHandle file, FileTime& time) override;
    void CloseFile(FileHandle file) override;
    DirectoryResult MakeDirectory(const std::string& path) override;
    bool CopyFileOver(const std::string& source, const std::string& destination) override;
    bool SetNormalAttributes(const std::string& path) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;
};

}  // namespace kolvane::platform
