#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/write_core.h"

namespace kolvane::platform {

// The primitives of the Windows file system. Under Wine every open, every close and the first use
// of a handle for reading or writing is a request to its server; the primitives make no request
// that the write core's decisions do not need.
//
// A file being written under a temporary name is opened shared with nobody, which keeps other
// Windows processes from opening it; the native program's clean-up sees it held open. A lock
// (LockResult) is LockFileEx on the byte at 2^62, which Wine turns into the record lock that the
// native program takes as well.
class Win32FileSystem : public FileSystem {
  public:
    Win32FileSystem() = default;
    Win32FileSystem(const Win32FileSystem&) = delete;
    Win32FileSystem& operator=(const Win32FileSystem&) = delete;

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

    // Where the folder `folder` (a full path) really is, looked up once a run.
    std::optional<std::string> RealFolder(const std::string& folder);
    // Whether this run made the folder `folder` (a full path).
    bool MadeThisRun(const std::string& folder) const;

  private:
    // Where folders met really are, by PathKey of their full path: a folder is looked up once a
    // run, for all the files that go into it.
    std::map<std::string, std::string> folders_;
    std::set<std::string> made_;  // folders this run made, by PathKey
    // Attributes that normal attributes left as they were, by drive letter (folded): there, a
    // file that has them does not change when it is given normal attributes. (Wine shows every
    // file as FILE_ATTRIBUTE_ARCHIVE, also after it was given normal attributes; Windows clears
    // the flag.)
    std::set<std::pair<char, unsigned long>> unchangedByNormal_;
};

// Holds the file system for the write core, which is built on it.
class Win32FileSystemHolder {
  protected:
    Win32FileSystem windows_;
};

// The file seam of Kolvane.exe: the write core on the Windows file system.
class Win32Files : private Win32FileSystemHolder, public WriteCore {
  public:
    Win32Files() : WriteCore(windows_) {}
};

}  // namespace kolvane::platform
