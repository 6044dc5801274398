#include "records/recorder.h"

#include <algorithm>
#include <functional>

#include "names/windows_path.h"
#include "records/content_hash.h"

namespace kolvane::records {

namespace {

// The date line's text as a name: 20261208T022131Z.
std::string CompactDate(const std::string& date) {
    std::string compact;
    std::copy_if(date.begin(), date.end(), std::back_inserter(compact),
                 [](char c) { return c != '-' && c != ':'; });
    return compact;
}

}  // namespace

bool HashFile(platform::NativeFile& file, Hash& hash, std::string& buffer) {
    constexpr std::uint64_t kHashBlock = std::uint64_t{1} << 20;
    ContentHasher hasher;
    // One read beyond the end tells that the end was reached.
    const auto block = static_cast<std::size_t>(std::min(file.Info().size + 1, kHashBlock));
    if (buffer.size() < block) {
        buffer.resize(block);
    }
    for (std::uint64_t at = 0;;) {
        std::size_t got = 0;
        if (!file.ReadAt(at, buffer.data(), block, got)) {
            return false;
        }
        hasher.Add(std::string_view(buffer.data(), got));
        at += got;
        if (got < block) {
            hash = hasher.Result();
            return true;
        }
    }
}

bool HashFile(platform::NativeFile& file, Hash& hash) {
    std::string buffer;
    return HashFile(file, hash, buffer);
}

Recorder::Recorder(platform::Files& files, std::string hostPath, std::chrono::milliseconds interval)
    : files_(files),
      host_(std::move(hostPath)),
      folder_(host_ + std::string(kRecordFolder)),
      store_(folder_ + "\\" + std::string(kStoreFolder)),
      interval_(interval) {}

bool Recorder::Begin(const std::string& package, const Hash& script, platform::FileTime now) {
    record_ = {};
    record_.package = package;
    record_.script = script;
    record_.host = host_;
    record_.date = DateText(now);
    record_.state = RecordState::kStarted;
    // The folder and its store lie in the host's folder itself: never where a link leads.
    for (const std::string& folder : {folder_, store_}) {
        if (files_.MakeDirectory(folder) == platform::DirectoryResult::kFailed ||
            files_.LocateIn(folder, host_) != platform::Location::kInside) {
            Fail();
            return false;
        }
    }
    // One run at a time changes the host's records: a removal under way is waited for.
    lock_.emplace(files_, host_, kLockPatience);
    if (lock_->Result() != platform::ClaimResult::kClaimed) {
        lock_.reset();
        Fail();
        return false;
    }
    const std::string base =
        folder_ + "\\record-" + CompactDate(record_.date) + "-" + HashText(script).substr(0, 16);
    for (int number = 1;; ++number) {
        path_ = base + (number == 1 ? "" : "-" + std::to_string(number)) + ".txt";
        platform::Sight sight;
        files_.Look(path_, sight);
        if (sight.missing) {
            break;
        }
        if (!sight.info || number == 100) {
            path_.clear();
            Fail();
            return false;
        }
    }
    journal_ = JournalOf(path_);
    if (!files_.ReplaceContents(journal_, "")) {
        path_.clear();
        Fail();
        return false;
    }
    journalFile_ = files_.OpenForAppending(journal_);
    active_ = true;
    if (!Write(true)) {
        path_.clear();
        return false;
    }
    return true;
}

Recorder::~Recorder() {
    CloseJournal();
}

void Recorder::CloseJournal() {
    if (journalFile_ != platform::kInvalidFile) {
        files_.CloseFile(journalFile_);
        journalFile_ = platform::kInvalidFile;
    }
}

bool Recorder::Journal(const std::string& lines) {
    if (active_ && !(journalFile_ != platform::kInvalidFile ? files_.Append(journalFile_, lines)
                                                            : files_.AppendTo(journal_, lines))) {
        Fail();
    }
    return active_;
}

bool Recorder::Write(bool now) {
    if (!active_) {
        return false;
    }
    const auto time = std::chrono::steady_clock::now();
    if (!now && (++pending_ < kEntriesPerWrite || time - written_ < interval_)) {
        return true;
    }
    pending_ = 0;
    written_ = time;
    if (!files_.ReplaceContents(path_, WriteRecord(record_))) {
        Fail();
        return false;
    }
    return true;
}

std::optional<std::string> Recorder::Relative(const std::string& path) const {
    if (path.size() <= host_.size() || path.compare(0, host_.size(), host_) != 0) {
        return std::nullopt;
    }
    return path.substr(host_.size());
}

void Recorder::FoldersMaking(const std::string& destination) {
    if (!active_) {
        return;
    }
    // Up from the file's folder while the folders are missing; a name that ends in a separator
    // is the folder without it, and is not looked at again.
    std::vector<std::string> missing;
    std::string_view folder = destination;
    for (std::size_t cut = folder.find_last_of("\\/"); cut != std::string_view::npos;
         cut = folder.find_last_of("\\/")) {
        folder = folder.substr(0, cut);
        if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
            continue;
        }
        const std::string path(folder);
        const std::optional<std::string> relative = Relative(path);
        if (!relative || foldersKnown_.count(*relative) != 0) {
            break;
        }
        platform::Sight sight;
        files_.Look(path, sight);
        if (!sight.missing) {
            foldersKnown_.insert(*relative);
            break;
        }
        missing.push_back(*relative);
    }
    std::string lines;
    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        lines += FolderLine(*made);
        foldersKnown_.insert(*made);
        journaledFolders_.insert(names::PathKey(*made));
    }
    if (!lines.empty()) {
        Journal(lines);
    }
}

void Recorder::FoldersMade(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (const std::optional<std::string> relative = Relative(folder)) {
            record_.folders.push_back(*relative);
        }
    }
}

void Recorder::FileLeft(const std::string& destination, FileAction action) {
    const std::optional<std::string> relative = Relative(destination);
    if (!active_ || !relative) {
        return;
    }
    record_.files.push_back({action, *relative, std::nullopt, std::nullopt});
    Write(false);
}

bool Recorder::InStore(const Hash& hash) {
    const std::string name = HashText(hash);
    if (stored_.count(name) != 0) {
        return true;
    }
    platform::Sight sight;
    files_.Look(store_ + "\\" + name, sight);
    if (sight.info) {
        stored_.insert(name);
        return true;
    }
    return false;
}

bool Recorder::Store(const Hash& hash, const std::string& contents) {
    if (InStore(hash)) {
        return true;
    }
    if (!files_.ReplaceContents(store_ + "\\" + HashText(hash), contents)) {
        return false;
    }
    stored_.insert(HashText(hash));
    return true;
}

namespace {

// Hashes the package file's bytes as the copy reads them, where it reads them in order from the
// start, and keeps the old version of the file the copy replaces in the store under its hash.
class CopyFollower : public platform::CopyWatch {
  public:
    using KeepName = std::function<std::string(const FileStamp& old)>;
    using Announce = std::function<void(const CopyFollower& follower)>;
    CopyFollower(KeepName keepName, std::function<void()> starting, Announce placing)
        : keepName_(std::move(keepName)),
          starting_(std::move(starting)),
          placing_(std::move(placing)) {}

    void Read(std::uint64_t offset, std::string_view bytes) override {
        if (offset == 0) {
            hasher_.Reset();
            next_ = 0;
        }
        if (offset == next_) {
            hasher_.Add(bytes);
            next_ += bytes.size();
        }
    }

    std::string KeepAs(platform::NativeFile* present, const std::string&) override {
        replacing_ = true;
        Hash hash;
        if (present == nullptr || !HashFile(*present, hash)) {
            unreadable_ = true;
            return "";
        }
        unreadable_ = false;
        old_ = FileStamp{present->Info().size, present->Info().written, hash};
        return keepName_(*old_);
    }

    void Starting(const std::string&) override { starting_(); }
    void Placing(const std::string&) override { placing_(*this); }

    // The hash of the package file, where the copy read all of its `size` bytes in order.
    std::optional<Hash> Heard(std::uint64_t size) const {
        return next_ == size ? std::optional(hasher_.Result()) : std::nullopt;
    }
    // Whether the copy set out to replace a file that was there; what that file was.
    bool Replacing() const { return replacing_; }
    bool Unreadable() const { return unreadable_; }
    const std::optional<FileStamp>& Old() const { return old_; }

  private:
    KeepName keepName_;
    std::function<void()> starting_;
    Announce placing_;
    ContentHasher hasher_;
    std::uint64_t next_ = 0;
    bool replacing_ = false;
    bool unreadable_ = false;
    std::optional<FileStamp> old_;
};

}  // namespace

bool Recorder::Copy(const std::string& source, const std::string& destination,
                    platform::Sight& package, platform::Sight& present, platform::FileInfo& made) {
    const std::optional<std::string> relative = Relative(destination);
    if (!active_ || !relative) {
        return files_.Copy(source, destination, &package, &present, &made);
    }
    const std::optional<platform::FileInfo> before =
        present.info ? present.info
                     : (present.file ? std::optional(present.file->Info()) : std::nullopt);
    const std::optional<platform::FileInfo> from =
        package.file ? std::optional(package.file->Info()) : std::nullopt;
    std::optional<Hash> ours;
    // The package file's hash: heard as the copy read it, or read for it where it was not.
    const auto hashOfPackage = [&](const CopyFollower& follower) {
        if (!ours && from) {
            ours = follower.Heard(from->size);
        }
        std::string contents;
        if (!ours && files_.ReadContents(source, contents)) {
            ours = HashOf(contents);
        }
        return ours;
    };
    CopyFollower follower(
        // The old version goes into the store unless its contents are there already.
        [this](const FileStamp& old) {
            return InStore(old.hash) ? std::string() : store_ + "\\" + HashText(old.hash);
        },
        // Where the copy is about to write, and then what it is about to do, go into the
        // journal first: a run killed in between has left at most a temporary file there. The
        // remover looks for those in every folder that the journal names, so where a line names
        // the folder already, the first is not needed.
        [&] {
            if (journaledFolders_.insert(names::PathKey(names::DirectoryPart(*relative))).second) {
                Journal(FileLine({FileAction::kFailed, *relative, std::nullopt, std::nullopt}));
            }
        },
        [&](const CopyFollower& placing) {
            FileEntry line{placing.Old() ? FileAction::kReplaced : FileAction::kCreated, *relative,
                           std::nullopt, placing.Old()};
            if (from && hashOfPackage(placing)) {
                line.now = FileStamp{from->size, from->written, *ours};
            }
            Journal(FileLine(line));
        });
    platform::Kept kept = platform::Kept::kNothing;
    bool copied =
        files_.CopyKeeping(source, destination, &package, &present, &made, follower, kept);
    if (kept == platform::Kept::kFailed) {
        // The record is no reason to refuse the file: it is written without it.
        Fail();
        return files_.Copy(source, destination, nullptr, nullptr, &made);
    }
    if (follower.Unreadable()) {
        // What cannot be read cannot be kept: the file was written as without a record.
        Fail();
    }
    if (!active_) {
        return copied;
    }
    if (kept != platform::Kept::kNothing && follower.Old()) {
        stored_.insert(HashText(follower.Old()->hash));
    }
    FileEntry entry{FileAction::kCreated, *relative, std::nullopt, std::nullopt};
    if (!copied) {
        entry.action = FileAction::kFailed;
    } else {
        if (!hashOfPackage(follower)) {
            Fail();
            return copied;
        }
        const std::optional<FileStamp>& old = follower.Old();
        if (before &&
            (!follower.Replacing() || (old && old->hash == *ours && old->size == made.size &&
                                       old->written == made.written))) {
            // The write core left the file alone: it already held what the copy would make.
            entry.action = FileAction::kKeptIdentical;
        } else {
            if (old) {
                entry.action = FileAction::kReplaced;
                entry.old = old;
            }
            entry.now = FileStamp{made.size, made.written, *ours};
        }
    }
    record_.files.push_back(std::move(entry));
    Write(false);
    return copied;
}

std::optional<platform::FileTime> Recorder::TimeOf(const std::string& path) {
    platform::Sight sight;
    files_.Look(path, sight);
    return sight.info ? std::optional(sight.info->written) : std::nullopt;
}

void Recorder::CatalogSeen(const std::string& path) {
    if (active_ && !path.empty()) {
        catalogTime_ = TimeOf(path);
    }
}

void Recorder::CatalogLoaded(const std::string& path) {
    if (!active_) {
        return;
    }
    std::string bytes;
    if (!files_.ReadContents(path, bytes)) {
        Fail();
        return;
    }
    const FileStamp before{bytes.size(), catalogTime_.value_or(0), HashOf(bytes)};
    if (!Store(before.hash, bytes)) {
        Fail();
        return;
    }
    record_.catalog = CatalogChange{path, before, before};
}

void Recorder::CatalogWriting(std::string_view bytes) {
    if (active_ && record_.catalog) {
        record_.catalog->after.size = bytes.size();
        record_.catalog->after.hash = HashOf(bytes);
        Write(true);
    }
}

void Recorder::CatalogDone() {
    if (!active_ || !record_.catalog) {
        return;
    }
    // Goes into the record with the run's end: the remover knows the catalogue by its hash,
    // which the record holds from before it was written.
    record_.catalog->after.written = TimeOf(record_.catalog->path).value_or(0);
}

void Recorder::TexturePlacing(int, std::optional<std::string> old) {
    placingOld_ = std::move(old);
}

void Recorder::TexturePlaced(int identifier, const std::string& definition, bool replaced) {
    if (!active_) {
        return;
    }
    if (replaced) {
        record_.textures.push_back(
            {definition.empty() ? TextureAction::kRemoved : TextureAction::kReplaced, identifier,
             definition, placingOld_.value_or("")});
    } else if (!definition.empty()) {
        record_.textures.push_back({TextureAction::kInserted, identifier, definition, ""});
    }
    placingOld_.reset();
    Write(false);
}

void Recorder::Finish() {
    if (!active_) {
        return;
    }
    record_.state = RecordState::kFinished;
    if (Write(true)) {
        CloseJournal();
        files_.RemoveFile(journal_);
    }
    lock_.reset();
}

}  // namespace kolvane::records
