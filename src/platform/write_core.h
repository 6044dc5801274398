#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/files.h"

namespace kolvane::platform {

// The file seam of both programs: how a file is copied and how the catalogue is replaced, decided
// once above a platform's primitives (FileSystem).
//
// - A file that already holds the new bytes (and, for a copy, the same last-write time) is left
//   alone; attributes do not make a file different.
// - A new version is written beside the file under a temporary name (TemporaryName), locked while
//   it is written, and put in the file's place in one rename. The name of a symbolic link is
//   written through: the new version goes beside the file the link leads to, and the link stays.
// - Where that cannot be (a file with several names, a folder that takes no new files, a path
//   that would be too long, a file held open by another program that shares it for writing), the
//   file is written in place: the part beyond the old end first, so that a full disk stops the
//   write before any old byte changed, and, where the old contents matter, with a copy of them
//   kept beside the file (or, where the folder takes no file, in memory) until the new contents
//   are whole and read back; after a failure they are written back.
// - What killed runs of either program left (temporary names whose check digits fit, that no run
//   holds locked) is removed from a folder when the first file is written into it, but only in
//   folders that lie inside the folder given to TidyWithin, and never through a link.
// - A claim is the lock on the file's byte at 2^62 (see LockResult), taken by both programs.
class WriteCore : public Files {
  public:
    explicit WriteCore(FileSystem& system);
    ~WriteCore() override;
    WriteCore(const WriteCore&) = delete;
    WriteCore& operator=(const WriteCore&) = delete;

    FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(FileHandle file, FileTime& time) override;
    void CloseFile(FileHandle file) override;
    void Look(const std::string& path, Sight& sight) override;
    DirectoryResult MakeDirectory(const std::string& path) override;
    bool Copy(const std::string& source, const std::string& destination, Sight* from,
              Sight* present, FileInfo* made) override;
    // The old file takes the further name in the same step as the rename that replaces it.
    bool CopyKeeping(const std::string& source, const std::string& destination, Sight* from,
                     Sight* present, FileInfo* made, CopyWatch& watch, Kept& kept) override;
    std::vector<std::string> NamesIn(const std::string& folder, std::string_view mark) override;
    bool RemoveFile(const std::string& path) override;
    bool AppendTo(const std::string& path, std::string_view text) override;
    FileHandle OpenForAppending(const std::string& path) override;
    bool Append(FileHandle file, std::string_view text) override;
    void TidyFolder(const std::string& folder) override;
    Location LocateSeen(const Sight& sight, const std::string& folder) override;
    bool RemoveEmptyFolder(const std::string& path) override;
    bool MakeNormal(const std::string& path, const FileInfo* known) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;
    Location Locate(const std::string& path, const std::string& folder, Sight* sight) override;
    ClaimResult ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                               FileHandle& claim) override;
    void TidyWithin(const std::string& folder) override;

    class Source;  // new contents: another file's, or bytes in memory

  private:
    struct Claim {
        std::string path;
        std::unique_ptr<NativeFile> file;  // closed early where it keeps the file from a rename
    };
    // Where the old version of a file that a copy replaces goes, and what became of it.
    struct Keeping {
        CopyWatch& watch;
        std::optional<std::string> as;  // asked of the watch once a file is to be replaced
        Kept kept = Kept::kNothing;
        bool starting = false;  // the watch was told that the copy is about to write
        bool placing = false;   // the watch was told that the file is about to change
    };
    // The package file of a copy: the one `from` holds, else opened now.
    std::unique_ptr<NativeFile> OpenSource(const std::string& source, Sight* from);
    bool CopyOnto(NativeFile& input, const std::string& destination, Sight present, bool trustFree,
                  FileInfo* made, Keeping* keep = nullptr);
    // Asks the watch where the file at `path` (open as `present`, where it is) is to be kept.
    void AskKeepName(const std::string& path, NativeFile* present, Keeping& keep);
    // Tells the watch that the copy is about to write at `path`, unless it was told.
    static void Starting(const std::string& path, Keeping* keep);
    // Tells the watch that the file at `path` is about to change, unless it was told.
    static void Placing(const std::string& path, Keeping* keep);
    // Keeps a copy of the file at `path` as keep.as, before it is written in place.
    bool KeepCopy(const std::string& path, Keeping& keep);
    bool WriteInPlace(Spot& spot, Source& contents, bool keepOld, const FileInfo* copyOf);
    void Tidy(Spot& spot);
    Claim* ClaimOn(const std::string& path);
    // Takes a claim given up for a rename again: false unless the file is the size and age it
    // had when it was claimed (`claimed`) and no other run holds it.
    bool Reclaim(Claim& claim, const FileInfo& claimed);
    // Where `folder` really lies, asked once a run for each folder asked about.
    const std::optional<std::string>& RealFolder(const std::string& folder);

    FileSystem& system_;
    std::map<FileHandle, std::unique_ptr<NativeFile>> open_;
    std::map<FileHandle, std::uint64_t> appendAt_;  // files open for appending: their ends
    std::map<FileHandle, Claim> claims_;
    FileHandle nextClaim_ = -2;  // claims count down from -2, apart from open files
    std::map<std::string, std::optional<std::string>> realFolders_;
    std::optional<std::string> scope_;  // where TidyWithin's folder really lies
    std::set<std::string> tidied_;      // real folders whose leftovers were removed
};

// Temporary names: the file's name (cut to 200 bytes), ".~kv", eight random hexadecimal digits and
// four check digits over all before them. `random` chooses the eight.
std::string TemporaryName(std::string_view name, std::uint32_t random);
// Whether `name` is a temporary name whose check digits fit.
bool IsTemporaryName(std::string_view name);
inline constexpr std::string_view kTemporaryMark = ".~kv";

}  // namespace kolvane::platform
