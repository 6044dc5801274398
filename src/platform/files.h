#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace kolvane::platform {

// Last-write time: 100-nanosecond steps since 1 January 1601 (UTC).
using FileTime = std::uint64_t;

// A file opened with OpenForReading.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class DirectoryResult {
    kCreated,
    kAlreadyExists,  // the directory, or a file of that name, is already there
    kFailed,
};

// Where a path lies with respect to a folder once every link on the way is resolved.
enum class Location {
    kInside,  // in the folder, at any depth, or the folder itself
    kOutside,
    kUnknown,  // the folder, or every part of the path, cannot be found
};

enum class ClaimResult {
    kClaimed,
    kBusy,  // another run held the file for longer than the caller would wait
    kFailed,
};

// The file-system operations of the core. Every path is in Windows form: a drive letter,
// backslashes and Windows-1252 bytes; an implementation maps it onto its own file system.
class Files {
  public:
    virtual ~Files() = default;

    // Opens an existing file for reading while others may read it too.
    virtual FileHandle OpenForReading(const std::string& path) = 0;
    virtual bool LastWriteTime(FileHandle file, FileTime& time) = 0;
    virtual void CloseFile(FileHandle file) = 0;

    // Creates one directory; its parent must exist.
    virtual DirectoryResult MakeDirectory(const std::string& path) = 0;

    // Copies `source` onto `destination`, replacing a file that is there. The copy takes the
    // source's contents, last-write time and attributes. A read-only destination is not replaced.
    // Whatever happens, a good destination file is never left half written.
    virtual bool CopyFileOver(const std::string& source, const std::string& destination) = 0;

    // Removes the read-only (and every other) attribute.
    virtual bool SetNormalAttributes(const std::string& path) = 0;

    // Reads the whole file into `contents`. False when it cannot be opened or a read fails
    // part way; `contents` is then unspecified.
    virtual bool ReadContents(const std::string& path, std::string& contents) = 0;

    // Replaces the whole contents of `path` with `contents`: written beside it under another name,
    // checked, then renamed over it. On failure the file is as it was. A read-only file is not
    // replaced. While `path` is claimed (ClaimForUpdate), it is replaced only if it is still the
    // file claimed, unchanged since the claim.
    virtual bool ReplaceContents(const std::string& path, std::string_view contents) = 0;

    // Where `path` lies with respect to `folder`, both with every link resolved. A path that
    // does not exist (yet) lies where its deepest existing folder lies.
    virtual Location LocateIn(const std::string& path, const std::string& folder) = 0;

    // Claims the existing file `path` for one update, from reading it to writing it back: while
    // one run holds the claim, every other run's claim waits, in both programs and across them.
    // Waits at most `patience` for a claim held elsewhere. CloseFile(`claim`) gives it up.
    virtual ClaimResult ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                                       FileHandle& claim) = 0;

    // The caller is done with the paths it gave so far: whatever an implementation keeps open to
    // answer further calls on them sooner is closed now. Every other call may do so as well.
    virtual void Settle() {}
};

// Settles `files` when it goes out of scope.
class ScopedSettle {
  public:
    explicit ScopedSettle(Files& files) : files_(files) {}
    ScopedSettle(const ScopedSettle&) = delete;
    ScopedSettle& operator=(const ScopedSettle&) = delete;
    ~ScopedSettle() { files_.Settle(); }

  private:
    Files& files_;
};

// Owns a handle from OpenForReading and closes it on every path.
class ScopedFile {
  public:
    ScopedFile(Files& files, const std::string& path)
        : files_(files), handle_(files.OpenForReading(path)) {}
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ~ScopedFile() {
        if (IsOpen()) {
            files_.CloseFile(handle_);
        }
    }

    bool IsOpen() const { return handle_ != kInvalidFile; }
    FileHandle Get() const { return handle_; }

  private:
    Files& files_;
    FileHandle handle_;
};

// Holds a claim from ClaimForUpdate and gives it up on every path.
class ScopedClaim {
  public:
    ScopedClaim(Files& files, const std::string& path, std::chrono::milliseconds patience)
        : files_(files), result_(files.ClaimForUpdate(path, patience, handle_)) {}
    ScopedClaim(const ScopedClaim&) = delete;
    ScopedClaim& operator=(const ScopedClaim&) = delete;
    ~ScopedClaim() {
        if (handle_ != kInvalidFile) {
            files_.CloseFile(handle_);
        }
    }

    ClaimResult Result() const { return result_; }

  private:
    Files& files_;
    FileHandle handle_ = kInvalidFile;
    ClaimResult result_;
};

}  // namespace kolvane::platform
