#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace kolvane::platform {

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

// What became of the old version of a file that CopyKeeping was to keep.
enum class Kept {
    kNothing,  // no file was there, or the file there was left alone
    kLinked,   // the old file took the further name: kept at no cost of a copy
    kCopied,   // a copy of it, where it could not be linked or is written in place
    kFailed,   // it could not be kept, and the file was not replaced
};

// Follows a copy made by CopyKeeping: hears the source's bytes as they pass through the program,
// and names where the file that the copy replaces keeps its old version.
class CopyWatch : public ReadWatch {
  public:
    // The copy replaces the file at `path`, open for reading as `present` (null where it cannot
    // be opened): the free name to keep it as, or "" to keep nothing.
    virtual std::string KeepAs(NativeFile* present, const std::string& path) = 0;
    // The copy is about to write beside the file at `path` or into it: said once, before
    // anything in its folder changes.
    virtual void Starting(const std::string& path) = 0;
    // The copy is about to put its file at `path` (make it, or replace the file that KeepAs was
    // asked about since the last such word): said before the file there changes.
    virtual void Placing(const std::string& path) = 0;

  protected:
    ~CopyWatch() = default;
};

enum class ClaimResult {
    kClaimed,
    kBusy,  // another run held the file for longer than the caller would wait
    kFailed,
};

// The file-system operations of the core. Every path is in Windows form: a drive letter,
// backslashes and Windows-1252 bytes; an implementation maps it onto its own file system.
//
// Where the caller looks at a path and then works on it, the look's answer (a Sight: the file
// opened, or that nothing is there) is handed to the calls that follow, which take what they need
// from it; an implementation keeps nothing between calls for them.
class Files {
  public:
    virtual ~Files() = default;

    // Opens an existing file for reading while others may read it too.
    virtual FileHandle OpenForReading(const std::string& path) = 0;
    virtual bool LastWriteTime(FileHandle file, FileTime& time) = 0;
    virtual void CloseFile(FileHandle file) = 0;

    // Looks at `path`: the file opened as OpenForReading opens it, or that nothing is there.
    virtual void Look(const std::string& path, Sight& sight) = 0;

    // Creates one directory; its parent must exist.
    virtual DirectoryResult MakeDirectory(const std::string& path) = 0;

    // Copies `source` onto `destination`, replacing a file that is there. The copy takes the
    // source's contents, last-write time and attributes. A read-only destination is not replaced.
    // Whatever happens, a good destination file is never left half written.
    bool CopyFileOver(const std::string& source, const std::string& destination) {
        return Copy(source, destination, nullptr, nullptr, nullptr);
    }
    // The same, taking the source's and the destination's files from looks at them just before
    // (each may be null); `made`, when given, receives what the destination is afterwards.
    virtual bool Copy(const std::string& source, const std::string& destination, Sight* from,
                      Sight* present, FileInfo* made) = 0;

    // Copy, keeping the file that it replaces under a further name that `watch` gives: a free name
    // on the same volume in an existing folder. The old file takes that name just before the new
    // one is put in its place, so that it is never missing from both; where no further name can be
    // given, or the file is written in place, a copy of it (with its last-write time) is made
    // first. A file that is left alone keeps nothing. Where the old version cannot be kept, the
    // file is not replaced. The watch hears the source's bytes where they pass through the
    // program. This fallback asks for a name whenever a file is there, keeps a copy, and lets the
    // watch hear nothing.
    virtual bool CopyKeeping(const std::string& source, const std::string& destination, Sight* from,
                             Sight* present, FileInfo* made, CopyWatch& watch, Kept& kept) {
        Sight there;
        if (present == nullptr) {
            Look(destination, there);
            present = &there;
        }
        kept = Kept::kNothing;
        watch.Starting(destination);
        if (present->file) {
            const std::string keepAs = watch.KeepAs(present->file.get(), destination);
            std::string old;
            if (!keepAs.empty()) {
                if (!ReadContents(destination, old) || !ReplaceContents(keepAs, old)) {
                    kept = Kept::kFailed;
                    return false;
                }
                kept = Kept::kCopied;
            }
        }
        watch.Placing(destination);
        return Copy(source, destination, from, present, made);
    }

    // The names of the files in `folder` whose names contain `mark`. None where the seam cannot
    // list a folder.
    virtual std::vector<std::string> NamesIn(const std::string& folder, std::string_view mark) {
        static_cast<void>(folder);
        static_cast<void>(mark);
        return {};
    }
    // Removes the file `path` (where a link stands, the file it leads to). False when it was not
    // removed.
    virtual bool RemoveFile(const std::string& path) {
        static_cast<void>(path);
        return false;
    }
    // Removes the folder `path` when it is empty. False when it was not removed.
    virtual bool RemoveEmptyFolder(const std::string& path) {
        static_cast<void>(path);
        return false;
    }

    // Adds `text` at the end of the existing file `path`, in one write: a run killed meanwhile
    // leaves the text whole or cut short at its end, never anything else changed. This fallback
    // writes the whole file again.
    virtual bool AppendTo(const std::string& path, std::string_view text) {
        std::string contents;
        return ReadContents(path, contents) && ReplaceContents(path, contents.append(text));
    }
    // A file kept open to add text at its end, in one write each time: a run killed meanwhile
    // leaves the text whole or cut short at its end. Closed with CloseFile. Where the seam keeps
    // no such files, kInvalidFile, and AppendTo serves.
    virtual FileHandle OpenForAppending(const std::string& path) {
        static_cast<void>(path);
        return kInvalidFile;
    }
    virtual bool Append(FileHandle file, std::string_view text) {
        static_cast<void>(file);
        static_cast<void>(text);
        return false;
    }
    // Removes what killed runs left in `folder` (see TidyWithin) before it is left as it is.
    virtual void TidyFolder(const std::string& folder) { static_cast<void>(folder); }

    // Removes the read-only (and every other) attribute.
    bool SetNormalAttributes(const std::string& path) { return MakeNormal(path, nullptr); }
    // The same, where the caller knows what the file is (`known`, from Copy).
    virtual bool MakeNormal(const std::string& path, const FileInfo* known) = 0;

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
    Location LocateIn(const std::string& path, const std::string& folder) {
        return Locate(path, folder, nullptr);
    }
    // The same, looking at `path` as Look does on the way (`sight` may be null).
    virtual Location Locate(const std::string& path, const std::string& folder, Sight* sight) = 0;

    // Where the path that a Locate's `sight` looked at lies with respect to `folder`, without
    // looking again.
    virtual Location LocateSeen(const Sight& sight, const std::string& folder) {
        static_cast<void>(sight);
        static_cast<void>(folder);
        return Location::kUnknown;
    }

    // Claims the existing file `path` for one update, from reading it to writing it back: while
    // one run holds the claim, every other run's claim waits, in both programs and across them.
    // Waits at most `patience` for a claim held elsewhere. CloseFile(`claim`) gives it up.
    virtual ClaimResult ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                                       FileHandle& claim) = 0;

    // What killed runs left beside the files that are written is removed, but only in `folder`
    // and below it (the host's folder): never elsewhere, and never where a link leads out of it.
    virtual void TidyWithin(const std::string& folder) = 0;
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
