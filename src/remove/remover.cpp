#include "remove/remover.h"

#include <algorithm>
#include <set>

#include "names/windows_path.h"
#include "records/content_hash.h"
#include "records/recorder.h"
#include "textures/texture_catalog.h"

namespace kolvane::removal {

namespace {

using records::Block;
using records::Covers;
using records::FileAction;
using records::Hash;
using records::HashAt;
using records::Holds;
using records::TextureAction;
using records::Written;

std::string RecordFolder(const std::string& hostPath) {
    return hostPath + std::string(records::kRecordFolder);
}

// Where the store keeps the contents whose hash reads `name`.
std::string StorePath(const std::string& hostPath, const std::string& name) {
    return RecordFolder(hostPath) + "\\" + std::string(records::kStoreFolder) + "\\" + name;
}

std::string StorePath(const std::string& hostPath, const Hash& hash) {
    return StorePath(hostPath, records::HashText(hash));
}

bool Verified(platform::Files& files, const std::string& path, const Hash& hash) {
    bool missing = false;
    const std::optional<Hash> there = HashAt(files, path, missing);
    return there && *there == hash;
}

// The record right above `record` in `installed` (newest first) whose entry among its `items`
// (files or textures) replaced `ours`, what `record` put there; the entry, or none.
template <typename Entry>
Entry* Above(std::vector<Installed>& installed, const records::InstallRecord& record,
             const Entry& ours, std::vector<Entry> records::InstallRecord::*items,
             Installed** owner) {
    auto self = std::find_if(installed.begin(), installed.end(), [&](const Installed& entry) {
        return entry.record && *entry.record == record;
    });
    for (auto above = std::make_reverse_iterator(self); above != installed.rend(); ++above) {
        if (!above->record) {
            continue;
        }
        for (Entry& entry : (*above->record).*items) {
            if (Covers(entry, ours)) {
                *owner = &*above;
                return &entry;
            }
        }
    }
    return nullptr;
}

records::FileEntry* FileAbove(std::vector<Installed>& installed,
                              const records::InstallRecord& record, const records::FileEntry& ours,
                              Installed** owner) {
    return Above(installed, record, ours, &records::InstallRecord::files, owner);
}

records::TextureEntry* TextureAbove(std::vector<Installed>& installed,
                                    const records::InstallRecord& record,
                                    const records::TextureEntry& ours, Installed** owner) {
    return Above(installed, record, ours, &records::InstallRecord::textures, owner);
}

}  // namespace

bool Survey::Differs() const {
    const auto differs = [](ItemState state) {
        return state == ItemState::kChanged || state == ItemState::kMissing;
    };
    return !catalogReadable || std::any_of(files.begin(), files.end(), [&](const FileItem& item) {
        return differs(item.state);
    }) || std::any_of(textures.begin(), textures.end(), [&](const TextureItem& item) {
        return differs(item.state);
    });
}

bool Survey::Covered() const {
    return std::any_of(files.begin(), files.end(),
                       [](const FileItem& item) { return item.state == ItemState::kCovered; }) ||
           std::any_of(textures.begin(), textures.end(),
                       [](const TextureItem& item) { return item.state == ItemState::kCovered; });
}

Survey Look(platform::Files& files, const std::string& hostPath,
            const records::InstallRecord& record, const std::vector<Installed>* installed) {
    Survey survey;
    std::vector<Installed> others = installed != nullptr ? *installed : std::vector<Installed>{};
    Installed* owner = nullptr;
    const std::vector<records::FileEntry> written = Written(record);
    std::vector<std::string> paths;
    for (auto file = written.rbegin(); file != written.rend(); ++file) {
        paths.push_back(hostPath + file->path);
    }
    const std::vector<records::FileHash> hashes = records::HashAll(files, paths);
    auto hashed = hashes.begin();
    for (auto file = written.rbegin(); file != written.rend(); ++file, ++hashed) {
        FileItem item{file->path, ItemState::kOk, file->action};
        const bool missing = hashed->missing;
        const std::optional<Hash>& there = hashed->hash;
        if (!there) {
            item.state = missing && file->action == FileAction::kCreated ? ItemState::kUndone
                         : missing                                       ? ItemState::kMissing
                                                                         : ItemState::kChanged;
        } else if (Holds(*file, *there)) {
            item.state = ItemState::kOk;
        } else if (file->old && *there == file->old->hash) {
            item.state = ItemState::kUndone;
        } else {
            item.state = FileAbove(others, record, *file, &owner) != nullptr ? ItemState::kCovered
                                                                             : ItemState::kChanged;
        }
        survey.files.push_back(std::move(item));
    }
    survey.folders.assign(record.folders.rbegin(), record.folders.rend());
    // A run without textures still wrote the catalogue back in its layout.
    if (!record.catalog ||
        (record.textures.empty() && record.catalog->before.hash == record.catalog->after.hash)) {
        return survey;
    }
    std::string bytes;
    if (!files.ReadContents(record.catalog->path, bytes)) {
        survey.catalogReadable = false;
        return survey;
    }
    const Hash now = records::HashOf(bytes);
    survey.catalogAsLeft = now == record.catalog->after.hash;
    const bool asBefore = now == record.catalog->before.hash;
    std::optional<TextureCatalog> catalog;
    if (!survey.catalogAsLeft && !asBefore) {
        catalog.emplace(files, record.catalog->path);
        if (!catalog->IsLoaded()) {
            survey.catalogReadable = false;
            return survey;
        }
    }
    for (auto texture = record.textures.rbegin(); texture != record.textures.rend(); ++texture) {
        TextureItem item{texture->identifier, ItemState::kOk, texture->action};
        if (asBefore && !survey.catalogAsLeft) {
            item.state = ItemState::kUndone;
        } else if (catalog) {
            const std::optional<std::string> current = catalog->EntryOf(texture->identifier);
            const bool hadOld = texture->action != TextureAction::kInserted;
            if (Holds(*texture, current)) {
                item.state = ItemState::kOk;
            } else if (hadOld ? current == Block(texture->old) : !current) {
                item.state = ItemState::kUndone;
            } else if (TextureAbove(others, record, *texture, &owner) != nullptr) {
                item.state = ItemState::kCovered;
            } else {
                item.state = current ? ItemState::kChanged : ItemState::kMissing;
            }
        }
        survey.textures.push_back(item);
    }
    return survey;
}

namespace {

// The records of later installations that a removal changed, to be written before its own goes.
using Handed = std::vector<Installed*>;

// Keeps the contents now at `path` in the store, before a forced removal changes them.
bool KeepCurrent(platform::Files& files, const std::string& hostPath, const std::string& path,
                 Removal& removal) {
    bool missing = false;
    const std::optional<Hash> hash = HashAt(files, path, missing);
    if (!hash) {
        return missing;
    }
    const std::string stored = StorePath(hostPath, *hash);
    if (!Verified(files, stored, *hash) && !files.CopyFileOver(path, stored)) {
        return false;
    }
    removal.kept.push_back(*hash);
    return true;
}

// The old versions in the store that `record` may put back.
std::set<std::string> StoredFor(const records::InstallRecord& record) {
    std::set<std::string> stored;
    for (const records::FileEntry& entry : record.files) {
        if (entry.old) {
            stored.insert(records::HashText(entry.old->hash));
        }
    }
    if (record.catalog) {
        stored.insert(records::HashText(record.catalog->before.hash));
    }
    return stored;
}

// Deletes from the store the old versions that no record can put back any more: those that the
// host's records named before the removal (`before`), and that neither the records left after it
// (`after`, which now hold what the removal handed on) nor a forced removal's keeping name. Where
// a record cannot be read, or the host's list is not known, what is needed is unknown, and
// nothing is deleted.
void Prune(platform::Files& files, const std::string& hostPath, const std::string& recordFile,
           const std::vector<Installed>& before, const std::vector<Installed>& after,
           const Removal& removal) {
    const auto unknown = [](const Installed& installed) { return !installed.record; };
    if (std::any_of(before.begin(), before.end(), unknown) ||
        std::none_of(before.begin(), before.end(),
                     [&](const Installed& other) { return other.file == recordFile; })) {
        return;
    }
    std::set<std::string> named;
    for (const Installed& installed : before) {
        const std::set<std::string> its = StoredFor(*installed.record);
        named.insert(its.begin(), its.end());
    }
    for (const Installed& installed : after) {
        if (installed.file != recordFile) {
            for (const std::string& name : StoredFor(*installed.record)) {
                named.erase(name);
            }
        }
    }
    for (const Hash& hash : removal.kept) {
        named.erase(records::HashText(hash));
    }
    for (const std::string& name : named) {
        files.RemoveFile(StorePath(hostPath, name));
    }
}

void UndoFiles(platform::Files& files, const std::string& hostPath,
               const records::InstallRecord& record, const Survey& survey,
               std::vector<Installed>& all, Handed& handed, bool force, Removal& removal,
               const std::function<void()>& nextItem) {
    const std::vector<records::FileEntry> written = Written(record);
    auto entry = written.rbegin();
    for (const FileItem& item : survey.files) {
        nextItem();
        while (entry != written.rend() && entry->path != item.path) {
            ++entry;
        }
        const std::string path = hostPath + item.path;
        if (item.state == ItemState::kCovered && entry != written.rend()) {
            Installed* owner = nullptr;
            if (records::FileEntry* above = FileAbove(all, record, *entry, &owner)) {
                if (entry->action == FileAction::kCreated) {
                    above->action = FileAction::kCreated;
                    above->old.reset();
                } else {
                    above->old = entry->old;
                }
                handed.push_back(owner);
            }
            continue;
        }
        if (item.state == ItemState::kChanged && !force) {
            removal.left.push_back(item.path);
            continue;
        }
        if (item.state == ItemState::kChanged) {
            if (!KeepCurrent(files, hostPath, path, removal)) {
                removal.failed.push_back(item.path);
                continue;
            }
            removal.forced.push_back(item.path);
        } else if (item.state != ItemState::kOk) {
            continue;
        }
        if (item.action == FileAction::kCreated) {
            (files.RemoveFile(path) ? removal.deleted : removal.failed).push_back(item.path);
            continue;
        }
        // The old version, as the store keeps it, with its time and attributes.
        const bool known = entry != written.rend() && entry->old.has_value();
        const std::string stored = known ? StorePath(hostPath, entry->old->hash) : "";
        const bool restored =
            known && Verified(files, stored, entry->old->hash) && files.CopyFileOver(stored, path);
        (restored ? removal.restored : removal.failed).push_back(item.path);
    }
    // What killed runs left beside the files is removed before folders are removed when empty.
    // A killed run's journal names where it was about to write, as a failed entry.
    std::set<std::string> tidied;
    for (const records::FileEntry& item : record.files) {
        const std::string folder = names::DirectoryPart(hostPath + item.path);
        if (tidied.insert(names::PathKey(folder)).second) {
            files.TidyFolder(folder);
        }
    }
    for (const std::string& folder : survey.folders) {
        files.TidyFolder(hostPath + folder);
        if (files.RemoveEmptyFolder(hostPath + folder)) {
            removal.foldersRemoved.push_back(folder);
        }
    }
}

void UndoTextures(platform::Files& files, const std::string& hostPath,
                  const records::InstallRecord& record, const Survey& survey,
                  std::vector<Installed>& all, Handed& handed, bool force, Removal& removal) {
    if (!record.catalog || (survey.textures.empty() && !survey.catalogAsLeft)) {
        return;
    }
    const records::CatalogChange& change = *record.catalog;
    if (!survey.catalogReadable) {
        removal.catalogFailed = true;
        return;
    }
    TextureCatalog catalog(files, change.path);
    if (!catalog.IsLoaded()) {
        removal.catalogFailed = true;
        return;
    }
    if (survey.catalogAsLeft) {
        // Exactly as the installation left it: the bytes from before it, whole.
        std::string old;
        const bool put = files.ReadContents(StorePath(hostPath, change.before.hash), old) &&
                         records::HashOf(old) == change.before.hash &&
                         files.ReplaceContents(change.path, old);
        removal.catalogFailed = !put;
        if (put) {
            for (const TextureItem& item : survey.textures) {
                removal.texturesUndone.push_back(item.identifier);
            }
        }
        return;
    }
    auto texture = record.textures.rbegin();
    bool changed = false;
    bool keptCatalog = false;
    for (const TextureItem& item : survey.textures) {
        const records::TextureEntry& entry = *texture++;
        if (item.state == ItemState::kCovered) {
            Installed* owner = nullptr;
            if (records::TextureEntry* above = TextureAbove(all, record, entry, &owner)) {
                if (entry.action != TextureAction::kInserted) {
                    above->old = entry.old;
                } else if (above->action == TextureAction::kReplaced) {
                    // Nothing was there before either: the later one inserted its block.
                    above->action = TextureAction::kInserted;
                    above->old.clear();
                } else {
                    // The later one removed this one's block: before both there was none.
                    std::vector<records::TextureEntry>& list = owner->record->textures;
                    list.erase(list.begin() + (above - list.data()));
                }
                handed.push_back(owner);
            }
            continue;
        }
        if (item.state == ItemState::kChanged && !force) {
            removal.texturesLeft.push_back(item.identifier);
            continue;
        }
        if (item.state == ItemState::kChanged) {
            // The catalogue as it is now is kept in the store once, before it changes.
            if (!keptCatalog && !KeepCurrent(files, hostPath, change.path, removal)) {
                removal.catalogFailed = true;
                return;
            }
            keptCatalog = true;
            removal.texturesForced.push_back(item.identifier);
        } else if (item.state != ItemState::kOk) {
            continue;
        }
        if (entry.action == TextureAction::kInserted) {
            catalog.RemoveTexture(entry.identifier);
        } else {
            // As the installer inserts a block: followed by the layout's separator.
            catalog.AddTexture(entry.identifier, Block(entry.old) + "\n\t\t");
        }
        changed = true;
        removal.texturesUndone.push_back(item.identifier);
    }
    if (changed && !catalog.WriteBack()) {
        removal.catalogFailed = true;
        removal.texturesUndone.clear();
    }
}

}  // namespace

Removal Remove(platform::Files& files, const std::string& hostPath, const Installed& installed,
               const Survey& survey, const std::vector<Installed>& all, bool force,
               const Progress& progress) {
    Removal removal;
    if (!installed.record) {
        return removal;
    }
    std::vector<Installed> others = all;
    Handed handed;
    files.TidyWithin(hostPath);
    // Each file is an item, and the textures together are the last.
    const std::size_t total = survey.files.size() + 1;
    std::size_t done = 0;
    const auto nextItem = [&] {
        if (progress) {
            progress(done, total);
        }
        ++done;
    };
    UndoFiles(files, hostPath, *installed.record, survey, others, handed, force, removal, nextItem);
    nextItem();
    UndoTextures(files, hostPath, *installed.record, survey, others, handed, force, removal);
    if (progress) {
        progress(total, total);
    }
    if (installed.record->catalog) {
        // A killed run may have left a new catalogue beside it, never put in its place.
        files.TidyFolder(names::DirectoryPart(installed.record->catalog->path));
    }
    std::sort(handed.begin(), handed.end());
    handed.erase(std::unique(handed.begin(), handed.end()), handed.end());
    for (Installed* owner : handed) {
        if (files.ReplaceContents(owner->file, records::WriteRecord(*owner->record))) {
            // The record now holds what its journal told.
            files.RemoveFile(records::JournalOf(owner->file));
            removal.handedOn.push_back(owner->name);
        } else {
            removal.failed.push_back(owner->file);  // it would put back the wrong state
        }
    }
    if (removal.failed.empty() && !removal.catalogFailed) {
        removal.recordRemoved = files.RemoveFile(installed.file);
        if (removal.recordRemoved) {
            files.RemoveFile(records::JournalOf(installed.file));
            Prune(files, hostPath, installed.file, all, others, removal);
        }
    }
    return removal;
}

}  // namespace kolvane::removal
