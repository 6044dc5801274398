#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane::platform {

// Last-write time: 100-nanosecond steps since 1 January 1601 (UTC).
using FileTime = std::uint64_t;

// Windows' file attributes. A POSIX file system shows kReadOnly where the caller may not write
// the file, and none of the others.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeArchive = 0x20;
inline constexpr std::uint32_t kAttributeNormal = 0x80;

// What a file is, as the write core needs to know it.
struct FileInfo {
    std::uint64_t size = 0;
    FileTime written = 0;
    std::uint32_t writtenNanoseconds = 0;  // below the 100-nanosecond step, where kept
    std::uint32_t attributes = 0;          // Windows' attribute bits
    std::uint32_t permissions = 0;         // POSIX permission bits; 0 where the system has none
    std::uint32_t links = 1;               // how many names the file has
    std::uint32_t owner = 0;               // POSIX owner and group; 0 where the system has none
    std::uint32_t group = 0;
    bool regular = true;  // a plain file, not a folder, device or pipe
};

// A lock on the byte at 2^62 of a file, beyond the end of any file: the claim on the catalogue
// and the mark of a temporary file that is still being written. Wine turns Kolvane.exe's lock on
// that byte into the record lock that the native program takes, so the two shut each other out.
enum class LockResult {
    kTaken,
    kHeld,         // another open file holds it
    kUnsupported,  // the file system keeps no locks
    kFailed,
};

// Hears the bytes a copy reads from its source, with where they lie in it.
class ReadWatch {
  public:
    virtual void Read(std::uint64_t offset, std::string_view bytes) = 0;

  protected:
    ~ReadWatch() = default;
};

// An open file of a FileSystem; closed when it goes.
class NativeFile {
  public:
    virtual ~NativeFile() = default;

    // What the file was when it was opened or made.
    virtual const FileInfo& Info() const = 0;
    // Up to `size` bytes from `offset`; `got` is smaller only at the end of the file.
    virtual bool ReadAt(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) = 0;
    virtual bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) = 0;
    // Writes the whole of `source` into this new, empty file. With a `watch`, the bytes pass
    // through the program, in order, and the watch hears them.
    virtual bool CopyFrom(NativeFile& source, ReadWatch* watch) = 0;
    virtual bool Truncate(std::uint64_t size) = 0;
    virtual bool Flush() = 0;
    // Gives the file the last-write time and the attributes (permissions) of `source`, as a copy
    // of it takes them.
    virtual bool TakeTimeAndAttributes(const FileInfo& source) = 0;
    // Gives a new version of a file what the old one had besides its contents (attributes;
    // owner and permissions), as far as the caller may give them; without `old`, what a new file
    // of the caller's gets.
    virtual bool KeepAttributesOf(const FileInfo* old) = 0;
    // Reads what the file is now into Info().
    virtual bool Refresh() = 0;
    // Without `exclusive`, a shared lock (a file opened only for reading can take no other).
    virtual LockResult Lock(bool exclusive) = 0;
};

// Copies the whole of `source` into `target` at the same offsets through `buffer`, block by
// block; `watch`, where given, hears each block between its read and its write.
inline bool CopyBlocks(NativeFile& source, NativeFile& target, std::span<char> buffer,
                       ReadWatch* watch) {
    const std::uint64_t size = source.Info().size;
    for (std::uint64_t at = 0; at < size;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - at, buffer.size()));
        std::size_t got = 0;
        if (!source.ReadAt(at, buffer.data(), want, got) || got != want) {
            return false;
        }
        if (watch != nullptr) {
            watch->Read(at, std::string_view(buffer.data(), want));
        }
        if (!target.WriteAt(at, buffer.data(), want)) {
            return false;
        }
        at += want;
    }
    return true;
}

enum class MakeResult {
    kMade,
    kExists,   // a file of that name is there
    kNoRoom,   // the name would make the path too long for the system
    kRefused,  // the folder takes no new files
    kFailed,
};

enum class PutResult {
    kDone,
    kExists,      // without replacing: a file of the name is there
    kCannotKeep,  // without replacing: the file system cannot rename only onto a free name
    kHeldOpen,    // the file of the name is open elsewhere, which keeps it from being replaced
    kFailed,
};

// A file about to be written, as its folder holds it: links resolved (the name of a link is
// written through, in the folder of the file it leads to). Made by FileSystem::SpotOf.
class Spot {
  public:
    virtual ~Spot() = default;

    // The file that is there, if any.
    virtual const std::optional<FileInfo>& Present() const = 0;
    // Whether the caller may write the present file: not read-only, and allowed by its owner.
    virtual bool MayWritePresent() const = 0;
    // The name is known to be free: this run made its folder and has put nothing of that name
    // there, so the file is made without looking, and put in place only while the name is free.
    virtual bool KnownFree() const = 0;
    // Whether the folder was made by this run (and so holds no leftovers of another).
    virtual bool FolderMadeThisRun() const = 0;
    // Where the folder really is, for containment checks; none when unknown.
    virtual std::optional<std::string> RealFolder() = 0;

    // The file's name in its folder.
    virtual const std::string& Name() const = 0;
    // Makes a new file `name` beside it, only if no file of that name is there, open for
    // writing (and reading, with `readable`), shared with nobody. While it is open, other runs
    // of either program see that it is in use (OpenToRemove, Lock). `like`: the attributes the
    // file is to take, where the system can make it with them at once.
    virtual MakeResult MakeBeside(const std::string& name, const FileInfo* like, bool readable,
                                  std::unique_ptr<NativeFile>& made) = 0;
    // Puts the file `made` (named `madeName` beside it) in the place of the file, replacing a
    // present one only with `replace`; on success `made` is closed.
    virtual PutResult PutInPlace(std::unique_ptr<NativeFile>& made, const std::string& madeName,
                                 bool replace) = 0;
    // Gives the present file the further name `path` (a full path of a free name in an existing
    // folder), so that it stays there when a new version takes its place. False where it cannot:
    // no file is present, another volume, a file system without such names.
    virtual bool LinkPresentTo(const std::string& path) {
        static_cast<void>(path);
        return false;
    }
    // Removes the file `name` beside it, which this run made (`made` is closed first).
    virtual void RemoveBeside(const std::string& name, std::unique_ptr<NativeFile> made) = 0;
    // Opens the file itself for reading and writing, as other programs may share it for writing.
    virtual std::unique_ptr<NativeFile> OpenInPlace() = 0;
    // The names in the folder that contain `mark`.
    virtual std::vector<std::string> NamesWith(std::string_view mark) = 0;
    // Opens the file `name` beside it for removal: none when it is no regular file (a link is
    // not followed), cannot be opened, or another process holds it open as a file being written.
    // Where its Lock is then taken, RemoveOpened removes it.
    virtual std::unique_ptr<NativeFile> OpenToRemove(const std::string& name) = 0;
    virtual bool RemoveOpened(const std::string& name, std::unique_ptr<NativeFile> file) = 0;
};

enum class OpenError { kNone, kMissing, kFailed };

// What a look at a path found: the file, opened for reading, or that nothing is there; and where
// the path (or, when it is missing, its deepest existing folder) really lies.
struct Sight {
    std::unique_ptr<NativeFile> file;
    std::optional<FileInfo> info;  // what is there, also where it was not opened
    bool missing = false;          // the system said that nothing is there
    std::optional<std::string> real;
};

// The primitives of a platform's file system, on which the write core decides everything else.
// Paths are in Windows form: a drive letter, backslashes and Windows-1252 bytes. Real paths are
// the platform's own, for Contains to compare.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Opens an existing regular file for reading, while others may read it too (and, with
    // `othersWrite`, write it).
    virtual std::unique_ptr<NativeFile> OpenForReading(const std::string& path, bool othersWrite,
                                                       OpenError& error) = 0;
    // Opens an existing regular file for a claim: for reading and writing where the caller may
    // write it, else for reading; others may read and write it.
    virtual std::unique_ptr<NativeFile> OpenForClaim(const std::string& path) = 0;
    // Looks at `path`: with `open`, the file is opened as OpenForReading opens it; with `real`,
    // where it really lies: the file, or the deepest existing folder on its way.
    virtual Sight Look(const std::string& path, bool open, bool real) = 0;
    // Where `path` lies on the disk with every link resolved; none when it does not exist.
    virtual std::optional<std::string> RealPath(const std::string& path) = 0;
    // Whether the real path `path` is `folder` or lies below it.
    virtual bool Contains(const std::string& folder, const std::string& path) const = 0;
    // Whether `path` names the file open as `file`; with `unchanged`, also with the size and
    // last-write time that its Info() holds.
    virtual bool Names(const std::string& path, const NativeFile& file, bool unchanged) = 0;

    // The place of a write of `path`; `present` tells what a look at it found just before:
    // nothing (missing), the file (opened), or not looked at (null). None when the path cannot be
    // written at all (its folder is missing, a link leads nowhere).
    virtual std::unique_ptr<Spot> SpotOf(const std::string& path, const Sight* present) = 0;

    enum class MadeFolder { kCreated, kExists, kFailed };
    virtual MadeFolder MakeDirectory(const std::string& path) = 0;
    // Removes the folder `path` when it is empty; false when it is not, or cannot be removed.
    virtual bool RemoveEmptyDirectory(const std::string& path) {
        static_cast<void>(path);
        return false;
    }
    // Removes every attribute; `known`: what the file is known to have, when the caller knows.
    virtual bool SetNormalAttributes(const std::string& path, const FileInfo* known) = 0;
    // Waits a moment for another run, as the program waits (a window stays painted).
    virtual void Pause(std::chrono::milliseconds time) = 0;
};

}  // namespace kolvane::platform
