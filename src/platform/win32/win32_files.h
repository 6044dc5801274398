#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kolvane::platform {

// The file seam on the Windows file system.
//
// A file is replaced by writing a temporary file beside it, under a short name of our own that
// carries the file's name ("Lok.dat.~kv3f2a"), and renaming that over it once it is complete;
// what a failed write left under that name is removed before the failure is reported. Links are
// written through: the temporary file goes beside the file a link leads to. Where no temporary
// file can be made beside the target (its path would not fit MAX_PATH, or the folder refuses new
// files) or the file has several names (hard links), it is written in place instead.
//
// The installer asks where a file lies, then opens it, then copies it: LocateIn keeps the files it
// opened, as OpenForReading opens them, and the file it found missing, for the calls on the same
// paths that follow, until Settle or any other call. Giving normal attributes to a file that
// CopyFileOver just wrote is skipped where it has been seen to change nothing. Under Wine every
// open and close is a request to its server.
//
// A claim (ClaimForUpdate) is an exclusive LockFileEx on one byte far beyond the end of the file,
// so that reading and writing the file itself stay free; Wine turns it into an fcntl record lock
// on that byte, which the native program takes as well.
class Win32Files : public Files {
  public:
    Win32Files();
    ~Win32Files() override;
    Win32Files(const Win32Files&) = delete;
    Win32Files& operator=(const Win32Files&) = delete;

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
    // Closes what is kept; what OpenForReading lent out is the borrower's to close.
    void Settle() override;

  private:
    struct Claim;
    struct Kept;

    // Keeps `file`, opened as OpenForReading opens `path`, in place of the oldest one kept.
    void Keep(const std::string& path, FileHandle file);
    // The slot that keeps a file for `path` and has not lent it out, if any.
    Kept* FindKept(const std::string& path);
    // The file kept for `path` and not lent out by OpenForReading, now the caller's; else none.
    FileHandle TakeKept(const std::string& path);

    // The claim taken on `path`, if any.
    Claim* ClaimOn(const std::string& path);
    // Removes what killed runs left under our temporary names in `folder`, once per folder.
    void RemoveLeftovers(const std::string& folder);

    std::map<FileHandle, std::unique_ptr<Claim>> claims_;
    FileHandle nextClaim_;
    std::set<std::string> tidied_;  // folders whose leftovers were removed, upper case
    std::string folder_;            // the folder LocateIn resolved last, and where it really is
    std::string folderFinal_;
    std::map<std::string, std::string> folders_;  // where folders LocateIn met really are, by
                                                  // their path in upper case
    std::vector<Kept> kept_;
    std::size_t nextKept_ = 0;
    std::string missing_;  // the file LocateIn found missing last, if nothing was called since
    std::string written_;  // the file CopyFileOver made or left alone, if nothing was called since,
    unsigned long writtenAttributes_ = 0;  // and the attributes it has
    // Attributes that normal attributes left as they were, by drive letter (upper case): there,
    // a file that has them does not change when it is given normal attributes. (Wine shows every
    // file as FILE_ATTRIBUTE_ARCHIVE, also after it was given normal attributes; Windows clears
    // the flag.)
    std::set<std::pair<char, unsigned long>> unchangedByNormal_;
    std::vector<char> buffer_;  // for copying and comparing, allocated when first needed
    std::vector<char> other_;
};

}  // namespace kolvane::platform
