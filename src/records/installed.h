#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "records/install_record.h"

// The installations that a host's records name, and the rules of their stacks: which of the
// installations that wrote a file or a texture block is on top of it. The remover and the checker
// read the host's records through these alone.
namespace kolvane::records {

// One record in the host's record folder, read or not.
struct Installed {
    std::string file;  // the record's full path
    std::string name;  // the name it is known by: the package's, told apart where several share it
    std::optional<InstallRecord> record;
    std::string error;               // why it could not be read ("file:line: what")
    platform::FileTime written = 0;  // of the record's file
};

// The records of the host at `hostPath` (with its trailing backslash), newest first; those that
// cannot be read last, by their file names.
std::vector<Installed> ListInstalled(platform::Files& files, const std::string& hostPath);

// The installed package called `name`; none when no record is called so.
const Installed* Find(const std::vector<Installed>& installed, const std::string& name);

// The hash of the file at `path`; none when it cannot be read, `missing` whether nothing is there.
std::optional<Hash> HashAt(platform::Files& files, const std::string& path, bool& missing);

// What HashAt tells of one file.
struct FileHash {
    std::optional<Hash> hash;
    bool missing = false;
};

// HashAt of each of `paths`, in their order. The files are opened here one after the other and
// read on two threads at once, a few ahead: reading them is most of the work of a removal.
std::vector<FileHash> HashAll(platform::Files& files, const std::vector<std::string>& paths);

// The files a record wrote, one entry a file (names that Windows takes for one file are one): the
// first entry's action and old version, the last one's new version; in the order of the record.
std::vector<FileEntry> Written(const InstallRecord& record);

// A block as the catalogue's text holds it: through its closing '}', without the separator that
// the installer's layout puts after it.
std::string Block(const std::string& text);

// Whether the host still holds what the entry put there: a file whose contents hash to
// `present`, a catalogue whose block of the entry's identifier is `present` (none: no block).
// The installation is then on top of that item.
bool Holds(const FileEntry& written, const Hash& present);
bool Holds(const TextureEntry& placed, const std::optional<std::string>& present);

// Whether `above`, of a later installation, replaced what `below` put there: the later one is
// then on top, and what `below` replaced is the state under both.
bool Covers(const FileEntry& above, const FileEntry& below);
bool Covers(const TextureEntry& above, const TextureEntry& below);

// Which installation is on top of each file and texture block of a host, by its records (read
// once): of those that put an item's present contents there, the newest.
class Owners {
  public:
    // `installed` as ListInstalled gives it, newest first; it must outlive this.
    explicit Owners(const std::vector<Installed>& installed);

    // Whether any record wrote the file `path` (relative to the host's folder); where none did,
    // the file need not be read to know that it has no owner.
    bool Wrote(std::string_view path) const;
    // The installation on top of the file `path` whose contents hash to `present`.
    const Installed* OfFile(std::string_view path, const Hash& present) const;
    // Whether any record placed a block of the texture `identifier`; as Wrote, for the catalogue.
    bool Placed(int identifier) const;
    // The installation on top of the block `present` of the texture `identifier`.
    const Installed* OfTexture(int identifier, const std::string& present) const;

  private:
    struct WroteFile {
        const Installed* installed;
        FileEntry entry;
    };
    struct PlacedTexture {
        const Installed* installed;
        const TextureEntry* entry;
    };
    std::map<std::string, std::vector<WroteFile>> files_;  // by PathKey, newest first
    std::map<int, std::vector<PlacedTexture>> textures_;   // newest first
};

}  // namespace kolvane::records
