#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "records/host_lock.h"
#include "records/install_record.h"

namespace kolvane::records {

// The folder of the host's folder that holds the records, and the store within it.
inline constexpr std::string_view kRecordFolder = "Kolvane";
inline constexpr std::string_view kStoreFolder = "store";

// How far a record may lag behind the run: it is written again once this many entries are new
// and this long has passed since it was last written.
inline constexpr std::size_t kEntriesPerWrite = 32;
inline constexpr std::chrono::milliseconds kWriteInterval{1000};
// How long an installation waits for a removal working on the host to end before it goes on
// without a record.
inline constexpr std::chrono::milliseconds kLockPatience{60000};

// Writes the record of one installation while it runs, through the file seam: its intent (state
// started) before the first change, its entries in batches as they complete, and its end. Old
// versions of replaced files and of the catalogue go into the store under their hash, once for
// each content. A recorder that cannot record (Begin failed, or a later write of the record)
// says so through Failed(); the installation goes on all the same.
class Recorder {
  public:
    // `hostPath`: the host's folder with its trailing backslash.
    Recorder(platform::Files& files, std::string hostPath,
             std::chrono::milliseconds interval = kWriteInterval);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Makes the folders and writes the record's intent. False when nothing can be recorded.
    bool Begin(const std::string& package, const Hash& script, platform::FileTime now);
    bool Active() const { return active_; }
    // Whether recording failed, at the start or on the way.
    bool Failed() const { return failed_; }
    // The record folder (HostPath + "Kolvane"), where no destination may lie.
    const std::string& Folder() const { return folder_; }
    // The record's file; empty before Begin succeeded.
    const std::string& RecordPath() const { return path_; }

    // A file entry is about to make the folders `destination` needs: those missing go into the
    // journal first.
    void FoldersMaking(const std::string& destination);
    // Folders a file entry made, by their full paths.
    void FoldersMade(const std::vector<std::string>& folders);
    // A file entry that left the present file alone, or failed.
    void FileLeft(const std::string& destination, FileAction action);
    // Copies `source` onto `destination` as Files::Copy does (with the looks at both), keeping a
    // replaced file's old version in the store, and records what happened.
    bool Copy(const std::string& source, const std::string& destination, platform::Sight& package,
              platform::Sight& present, platform::FileInfo& made);

    // The catalogue before the texture section claims it (for its time), as the section loaded
    // it (read again here, byte for byte, for the store), the bytes it is about to write back
    // (the record, with every texture entry, is written first), and once the section has let it
    // go (for its new time).
    void CatalogSeen(const std::string& path);
    void CatalogLoaded(const std::string& path);
    void CatalogWriting(std::string_view bytes);
    void CatalogDone();
    // A texture entry of `identifier` is about to be placed; `old` is the entry it will remove.
    void TexturePlacing(int identifier, std::optional<std::string> old);
    // It was placed: `definition` inserted (none: only removed), `replaced` whether an entry was
    // removed.
    void TexturePlaced(int identifier, const std::string& definition, bool replaced);

    // Writes the record as finished.
    void Finish();

  private:
    bool Write(bool now);
    // Appends to the journal; a journal that cannot be written ends the recording.
    bool Journal(const std::string& lines);
    void CloseJournal();
    std::optional<std::string> Relative(const std::string& path) const;
    std::optional<platform::FileTime> TimeOf(const std::string& path);
    // Keeps `contents` in the store under `hash`, unless it is there already.
    bool Store(const Hash& hash, const std::string& contents);
    bool InStore(const Hash& hash);
    void Fail() {
        failed_ = true;
        active_ = false;
    }

    platform::Files& files_;
    std::string host_;
    std::string folder_;
    std::string store_;
    std::string path_;
    std::optional<HostLock> lock_;  // held from Begin to Finish
    std::string journal_;
    platform::FileHandle journalFile_ = platform::kInvalidFile;  // kept open while recording
    std::set<std::string> foldersKnown_;  // folders seen present or journaled as about to be made
    // The folders (PathKey) that a line of the journal names, where the remover looks for what
    // a killed run left.
    std::set<std::string> journaledFolders_;
    InstallRecord record_;
    std::size_t pending_ = 0;
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point written_;
    bool active_ = false;
    bool failed_ = false;
    std::set<std::string> stored_;  // hashes known to be in the store
    std::optional<std::string> placingOld_;
    std::optional<platform::FileTime> catalogTime_;
};

// The hash of the whole file open as `file`; false when it cannot be read to its end. `buffer`:
// where the bytes are read, kept by a caller that hashes many files.
bool HashFile(platform::NativeFile& file, Hash& hash, std::string& buffer);
bool HashFile(platform::NativeFile& file, Hash& hash);

}  // namespace kolvane::records
