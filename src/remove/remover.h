#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "records/install_record.h"
#include "records/installed.h"

// Taking an installation back by its record: how far the host still is as each installation
// left it, and the removal itself. The same for every program that removes packages.
namespace kolvane::removal {

using records::Installed;  // the host's records, as records::ListInstalled reads them

// How an item the installation wrote stands now.
enum class ItemState {
    kOk,       // as the installation left it
    kChanged,  // something else is there now
    kMissing,  // nothing is there now
    kUndone,   // as it was before the installation (a removal got this far)
    kCovered,  // a later installation replaced it: what it replaced is handed on to that one
};

struct FileItem {
    std::string path;  // relative to the host's folder
    ItemState state = ItemState::kOk;
    records::FileAction action = records::FileAction::kCreated;
};

struct TextureItem {
    int identifier = 0;
    ItemState state = ItemState::kOk;
    records::TextureAction action = records::TextureAction::kInserted;
};

// The state of every file and texture block that an installation wrote, newest entry first (the
// order in which they are taken back).
struct Survey {
    std::vector<FileItem> files;
    std::vector<TextureItem> textures;
    std::vector<std::string> folders;  // made by the installation and still there, deepest first
    // The catalogue is byte for byte as the installation left it: it is put back whole.
    bool catalogAsLeft = false;
    bool catalogReadable = true;
    bool Differs() const;
    bool Covered() const;
};

// `installed`, when given, is the host's list, in which the record stands: items that a later
// installation replaced are then kCovered rather than kChanged.
Survey Look(platform::Files& files, const std::string& hostPath,
            const records::InstallRecord& record,
            const std::vector<Installed>* installed = nullptr);

// What a removal did, and what it left because it was changed since.
struct Removal {
    std::vector<std::string> deleted;   // files
    std::vector<std::string> restored;  // files put back as they were
    std::vector<std::string> left;      // files changed since, left as they are
    std::vector<std::string> failed;    // files that could not be deleted or restored
    std::vector<int> texturesUndone;
    std::vector<int> texturesLeft;
    // Changed since, and taken back all the same (force): their contents then are in the store.
    std::vector<std::string> forced;
    std::vector<int> texturesForced;
    std::vector<records::Hash> kept;    // the contents kept in the store before a forced removal
    std::vector<std::string> handedOn;  // records of later installations that now undo more
    std::vector<std::string> foldersRemoved;
    bool catalogFailed = false;
    bool recordRemoved = false;
    bool Failed() const { return !failed.empty() || catalogFailed || !recordRemoved; }
};

// Takes the installation of `installed` back as `survey` found the host: files and blocks still
// as installed are deleted, or put back as they were before; what changed since is left; folders
// the installation made are removed when empty. An item that a later installation replaced
// stays, and what this one replaced is handed on to that one's record, so that removing it later
// puts back the state from before both. The record goes last, so that a removal that is stopped
// half-way is finished by the next one. `all`: the host's list that `installed` stands in.
// `force`: what changed since is taken back too, its contents kept in the store first. Once the
// record is gone, the store's old versions that no other record (nor the force) keeps go too.
// `progress` hears how many of the survey's items are done, after each file and at the end.
using Progress = std::function<void(std::size_t done, std::size_t total)>;
Removal Remove(platform::Files& files, const std::string& hostPath, const Installed& installed,
               const Survey& survey, const std::vector<Installed>& all = {}, bool force = false,
               const Progress& progress = {});

}  // namespace kolvane::removal
