#include "records/installed.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "names/windows_path.h"
#include "records/recorder.h"

namespace kolvane::records {

namespace {

constexpr std::string_view kRecordMark = "record-";
constexpr std::string_view kRecordEnd = ".txt";

// A "-N" that a record's file name carries before ".txt", for a second record of one second.
std::string Repeat(const std::string& file) {
    const std::size_t end = file.size() - kRecordEnd.size();
    const std::size_t dash = file.rfind('-', end);
    const std::size_t hashStart = file.rfind('-', dash - 1);
    // record-DATE-HASH16-N.txt: three dashes before ".txt" mean a repeat.
    if (dash == std::string::npos || hashStart == std::string::npos || end - dash > 4 ||
        dash - hashStart != 17) {
        return "";
    }
    return file.substr(dash, end - dash);
}

}  // namespace

std::vector<Installed> ListInstalled(platform::Files& files, const std::string& hostPath) {
    const std::string folder = hostPath + std::string(kRecordFolder);
    std::vector<Installed> installed;
    for (const std::string& name : files.NamesIn(folder, kRecordMark)) {
        if (name.rfind(kRecordMark, 0) != 0 || name.size() <= kRecordEnd.size() ||
            name.compare(name.size() - kRecordEnd.size(), kRecordEnd.size(), kRecordEnd) != 0) {
            continue;
        }
        Installed entry{folder + "\\" + name, name, std::nullopt, "", 0};
        platform::Sight sight;
        files.Look(entry.file, sight);
        entry.written = sight.info ? sight.info->written : 0;
        std::string text;
        ReadError error;
        if (!files.ReadContents(entry.file, text)) {
            entry.error = name + ": cannot be read";
        } else if (!(entry.record = ReadRecord(text, error))) {
            entry.error = DescribeError(name, error);
        } else if (entry.record->state == RecordState::kStarted) {
            // A run still under way, or killed: its journal tells every change it may have made.
            const std::string journal = JournalOf(entry.file);
            std::string lines;
            if (files.ReadContents(journal, lines) && !ReadJournal(lines, *entry.record, error)) {
                entry.record.reset();
                entry.error = DescribeError(journal.substr(journal.rfind('\\') + 1), error);
            }
        }
        installed.push_back(std::move(entry));
    }
    std::sort(installed.begin(), installed.end(), [](const Installed& a, const Installed& b) {
        if (a.record.has_value() != b.record.has_value()) {
            return a.record.has_value();
        }
        if (a.record && a.record->date != b.record->date) {
            return a.record->date > b.record->date;
        }
        if (a.written != b.written) {
            return a.written > b.written;  // of one second: the one written last
        }
        return a.file.size() != b.file.size() ? a.file.size() > b.file.size() : a.file > b.file;
    });
    std::map<std::string, int> sharing;
    for (const Installed& entry : installed) {
        if (entry.record) {
            ++sharing[entry.record->package];
        }
    }
    for (Installed& entry : installed) {
        if (!entry.record) {
            continue;
        }
        entry.name = entry.record->package;
        if (sharing[entry.name] > 1) {
            std::string date;
            std::copy_if(entry.record->date.begin(), entry.record->date.end(),
                         std::back_inserter(date), [](char c) { return c != '-' && c != ':'; });
            const std::string file = entry.file.substr(entry.file.rfind('\\') + 1);
            entry.name += "@" + date + Repeat(file);
        }
    }
    return installed;
}

const Installed* Find(const std::vector<Installed>& installed, const std::string& name) {
    for (const Installed& entry : installed) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

std::optional<Hash> HashAt(platform::Files& files, const std::string& path, bool& missing) {
    platform::Sight sight;
    files.Look(path, sight);
    missing = sight.missing;
    Hash hash;
    if (!sight.file || !HashFile(*sight.file, hash)) {
        return std::nullopt;
    }
    return hash;
}

std::vector<FileHash> HashAll(platform::Files& files, const std::vector<std::string>& paths) {
    std::vector<FileHash> hashes(paths.size());
    // Files opened and not yet read: a few, since each holds a descriptor or handle.
    constexpr std::size_t kAhead = 8;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::size_t, std::unique_ptr<platform::NativeFile>>> opened;
    bool allOpened = false;
    // Hashes the file opened first, where one waits; the lock is let go meanwhile.
    const auto hashNext = [&](std::unique_lock<std::mutex>& lock, std::string& buffer) {
        if (opened.empty()) {
            return false;
        }
        auto [index, file] = std::move(opened.front());
        opened.pop_front();
        lock.unlock();
        Hash hash;
        if (HashFile(*file, hash, buffer)) {
            hashes[index].hash = hash;
        }
        file.reset();
        lock.lock();
        return true;
    };
    std::thread helper;
    try {
        helper = std::thread([&] {
            std::string buffer;
            std::unique_lock<std::mutex> lock(mutex);
            for (;;) {
                changed.wait(lock, [&] { return allOpened || !opened.empty(); });
                if (!hashNext(lock, buffer) && allOpened) {
                    return;
                }
            }
        });
    } catch (const std::system_error&) {
        // Without a second thread, this one reads everything.
    }
    std::string buffer;
    std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        platform::Sight sight;
        files.Look(paths[i], sight);
        hashes[i].missing = sight.missing;
        if (!sight.file) {
            continue;
        }
        lock.lock();
        opened.emplace_back(i, std::move(sight.file));
        changed.notify_one();
        while (opened.size() >= kAhead) {
            hashNext(lock, buffer);
        }
        lock.unlock();
    }
    lock.lock();
    allOpened = true;
    changed.notify_all();
    while (hashNext(lock, buffer)) {
    }
    lock.unlock();
    if (helper.joinable()) {
        helper.join();
    }
    return hashes;
}

std::vector<FileEntry> Written(const InstallRecord& record) {
    std::vector<FileEntry> written;
    std::map<std::string, std::size_t> index;
    for (const FileEntry& file : record.files) {
        if (file.action != FileAction::kCreated && file.action != FileAction::kReplaced) {
            continue;
        }
        const auto [at, added] = index.emplace(names::PathKey(file.path), written.size());
        if (added) {
            written.push_back(file);
        } else {
            written[at->second].now = file.now;
        }
    }
    return written;
}

std::string Block(const std::string& text) {
    const std::size_t close = text.rfind('}');
    return close == std::string::npos ? text : text.substr(0, close + 1);
}

bool Holds(const FileEntry& written, const Hash& present) {
    return written.now && written.now->hash == present;
}

bool Holds(const TextureEntry& placed, const std::optional<std::string>& present) {
    return placed.action == TextureAction::kRemoved ? !present : present == Block(placed.text);
}

bool Covers(const FileEntry& above, const FileEntry& below) {
    return above.action == FileAction::kReplaced && above.old && below.now &&
           above.old->hash == below.now->hash &&
           names::PathKey(above.path) == names::PathKey(below.path);
}

bool Covers(const TextureEntry& above, const TextureEntry& below) {
    return above.identifier == below.identifier && above.action != TextureAction::kInserted &&
           Block(above.old) == Block(below.text);
}

Owners::Owners(const std::vector<Installed>& installed) {
    for (const Installed& entry : installed) {
        if (!entry.record) {
            continue;  // an unreadable record names no owner
        }
        for (FileEntry& file : Written(*entry.record)) {
            files_[names::PathKey(file.path)].push_back({&entry, std::move(file)});
        }
        // Of one record's entries for an identifier, the last placed what is there.
        const std::vector<TextureEntry>& textures = entry.record->textures;
        for (auto texture = textures.rbegin(); texture != textures.rend(); ++texture) {
            textures_[texture->identifier].push_back({&entry, &*texture});
        }
    }
}

bool Owners::Wrote(std::string_view path) const {
    return files_.count(names::PathKey(path)) != 0;
}

bool Owners::Placed(int identifier) const {
    return textures_.count(identifier) != 0;
}

const Installed* Owners::OfFile(std::string_view path, const Hash& present) const {
    const auto stack = files_.find(names::PathKey(path));
    if (stack == files_.end()) {
        return nullptr;
    }
    for (const WroteFile& wrote : stack->second) {
        if (Holds(wrote.entry, present)) {
            return wrote.installed;
        }
    }
    return nullptr;
}

const Installed* Owners::OfTexture(int identifier, const std::string& present) const {
    const auto stack = textures_.find(identifier);
    if (stack == textures_.end()) {
        return nullptr;
    }
    for (const PlacedTexture& placed : stack->second) {
        if (placed.entry->action != TextureAction::kRemoved && Holds(*placed.entry, present)) {
            return placed.installed;
        }
    }
    return nullptr;
}

}  // namespace kolvane::records
