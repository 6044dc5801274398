#include "records/recorder.h"

#include <algorithm>

#include "records/content_hash.h"

namespace kolvane::records {

namespace {

constexpr std::size_t kHashBlock = std::size_t{1} << 20;

// The date line's text as a name: 20261208T022131Z.
std::string CompactDate(const std::string& date) {
    std::string compact;
    std::copy_if(date.begin(), date.end(), std::back_inserter(compact),
                 [](char c) { return c != '-' && c != ':'; });
    return compact;
}

}  // namespace

bool HashFile(platform::NativeFile& file, Hash& hash) {
    ContentHasher hasher;
    // One read beyond the end tells that the end was reached.
    const std::uint64_t size = file.Info().size;
    std::string block(static_cast<std::size_t>(std::min<std::uint64_t>(size + 1, kHashBlock)),
                      '\0');
    for (std::uint64_t at = 0;;) {
        std::size_t got = 0;
        if (!file.ReadAt(at, block.data(), block.size(), got)) {
            return false;
        }
        hasher.Add(std::string_view(block.data(), got));
        at += got;
        if (got < block.size()) {
            hash = hasher.Result();
            return true;
        }
    }
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
    active_ = true;
    if (!Write(true)) {
        path_.clear();
        return false;
    }
    return true;
}

bool Recorder::Journal(const std::string& lines) {
    if (active_ && !files_.AppendTo(journal_, lines)) {
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
        platform::Sight sight;
        if (!relative || (files_.Look(path, sight), !sight.missing)) {
            break;
        }
        missing.push_back(*relative);
    }
    std::string lines;
    for (auto made = missing.rbegin(); made != missing.rend(); ++made) {
        lines += FolderLine(*made);
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

bool Recorder::Copy(const std::string& source, const std::string& destination,
                    platform::Sight& package, platform::Sight& present, platform::FileInfo& made) {
    const std::optional<std::string> relative = Relative(destination);
    if (!active_ || !relative) {
        return files_.Copy(source, destination, &package, &present, &made);
    }
    // The hashes are read through the files the looks opened, which the copy then uses.
    Hash ours;
    const bool hashed = package.file && HashFile(*package.file, ours);
    std::optional<FileStamp> old;
    if (present.file) {
        const platform::FileInfo& info = present.file->Info();
        Hash theirs;
        if (!HashFile(*present.file, theirs)) {
            // What cannot be read cannot be kept: the file is written as without a record.
            Fail();
            return files_.Copy(source, destination, &package, &present, &made);
        }
        old = FileStamp{info.size, info.written, theirs};
    }
    FileEntry entry{FileAction::kCreated, *relative, std::nullopt, std::nullopt};
    // What the copy is about to do goes into the journal first.
    const auto intent = [&](FileAction action) {
        FileEntry line{action, *relative, std::nullopt, old};
        if (hashed) {
            const platform::FileInfo& info = package.file->Info();
            line.now = FileStamp{info.size, info.written, ours};
        }
        return Journal(FileLine(line));
    };
    bool copied = false;
    if (old && hashed && old->hash == ours && old->size == package.file->Info().size &&
        old->written == package.file->Info().written) {
        // The write core leaves a file that already is what the copy would make.
        copied = files_.Copy(source, destination, &package, &present, &made);
        entry.action = FileAction::kKeptIdentical;
    } else if (old) {
        entry.action = FileAction::kReplaced;
        entry.old = old;
        if (!intent(FileAction::kReplaced)) {
            return files_.Copy(source, destination, &package, &present, &made);
        }
        if (InStore(old->hash)) {
            copied = files_.Copy(source, destination, &package, &present, &made);
        } else {
            platform::Kept kept = platform::Kept::kNothing;
            copied = files_.CopyKeeping(source, destination, &package, &present, &made,
                                        store_ + "\\" + HashText(old->hash), kept);
            if (kept == platform::Kept::kFailed) {
                // The record is no reason to refuse the file: it is written without it.
                Fail();
                return files_.Copy(source, destination, nullptr, nullptr, &made);
            }
            if (kept != platform::Kept::kNothing) {
                stored_.insert(HashText(old->hash));
            }
        }
    } else {
        intent(FileAction::kCreated);
        copied = files_.Copy(source, destination, &package, &present, &made);
    }
    if (!active_) {
        return copied;
    }
    if (!copied) {
        entry = {FileAction::kFailed, *relative, std::nullopt, std::nullopt};
    } else if (entry.action != FileAction::kKeptIdentical) {
        entry.now = FileStamp{made.size, made.written, ours};
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
    record_.catalog->after.written = TimeOf(record_.catalog->path).value_or(0);
    Write(true);
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
        files_.RemoveFile(journal_);
    }
}

}  // namespace kolvane::records
