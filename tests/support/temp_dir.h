#pragma once

#include <string>

#include "support/caller.h"

namespace kolvane::testing {

// A fresh directory for one test, removed with everything in it when the test ends.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    // The directory's host path, without a trailing slash.
    const std::string& Path() const { return path_; }
    // The host path of `relative` (slashes) inside the directory.
    std::string HostPath(const std::string& relative) const;
    // The same place in Windows form: on Linux on drive Z:, which maps to "/".
    std::string WindowsPath(const std::string& relative = "") const;

    // Writes `contents` to `relative`, creating the directories on the way; returns the host path.
    // A failure fails the calling test at the caller's line.
    std::string Write(const std::string& relative, const std::string& contents,
                      SourceLocation caller = SourceLocation::current()) const;
    // The contents of `relative`, or an empty string when it cannot be read.
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

  private:
    std::string path_;
};

// "/a/b" -> "Z:\a\b": the path as Wine shows a host path on drive Z:. On Windows only the
// separators change.
std::string ToDriveZ(const std::string& hostPath);

}  // namespace kolvane::testing
