#pragma once

#include <memory>
#include <string>

#include "platform/files.h"
#include "support/caller.h"

namespace kolvane::testing {

// The real file operations of the platform the tests run on: the posix ones (with drive Z: as
// "/") on Linux, the Win32 ones on Windows. Paths for them come from TempDir::WindowsPath.
std::unique_ptr<platform::Files> MakeRealFiles();

// Test set-up that reaches past the seam, by host path. A failure fails the calling test at the
// caller's line.
void SetLastWriteTime(const std::string& hostPath, platform::FileTime time,
                      SourceLocation caller = SourceLocation::current());
platform::FileTime GetLastWriteTime(const std::string& hostPath,
                                    SourceLocation caller = SourceLocation::current());
void MakeReadOnly(const std::string& hostPath, SourceLocation caller = SourceLocation::current());
bool IsReadOnly(const std::string& hostPath);
// A symbolic link at `link` that leads to `target`; false where the platform makes none (Windows
// without the privilege).
bool MakeSymlink(const std::string& targetHostPath, const std::string& linkHostPath);
// Removes a link made by MakeSymlink, never what it leads to. (Under Wine a removal that walks
// folders takes a link to a folder for the folder itself.)
void RemoveSymlink(const std::string& linkHostPath);
// A second name for an existing file.
bool MakeHardLink(const std::string& existingHostPath, const std::string& newHostPath);

}  // namespace kolvane::testing
