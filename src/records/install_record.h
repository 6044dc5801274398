#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

// The record of one package installation, as both programs write it into the host's `Kolvane`
// folder and the removers read it back. The text format is an interface, described in
// docs/records.md: change it only together with that description and kFormatVersion.
namespace kolvane::records {

// The version this code writes, and the newest it reads.
inline constexpr int kFormatVersion = 1;
// The first line of every record, followed by a blank and the format version.
inline constexpr std::string_view kRecordMagic = "Kolvane install record";

// A 128-bit content hash (XXH3-128), written as 32 lowercase hexadecimal digits, high half first.
struct Hash {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    friend bool operator==(const Hash&, const Hash&) = default;
};
std::string HashText(const Hash& hash);
// None unless `text` is exactly 32 hexadecimal digits.
std::optional<Hash> ParseHash(std::string_view text);

// The text of the date line for `time`: UTC, to the second.
std::string DateText(platform::FileTime time);

// What a file was at one moment: enough to tell whether it is still the same and to put it back.
struct FileStamp {
    std::uint64_t size = 0;
    platform::FileTime written = 0;
    Hash hash;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Whether the run that wrote the record got to its end. A record still `kStarted` after its run
// ended tells of a run that was killed or lost its power half-way.
enum class RecordState { kStarted, kFinished };

enum class FileAction {
    kCreated,        // `now` is what was put there; nothing was there before
    kReplaced,       // `now` is what was put there, `old` what it replaced (kept in the store)
    kKeptNewer,      // left alone: the present file is newer (or the user chose to keep it)
    kKeptIdentical,  // left alone: the present file already held the package's bytes
    kFailed,         // the entry failed; what is there was not changed by this run
};

struct FileEntry {
    FileAction action = FileAction::kCreated;
    std::string path;              // relative to the host's folder, Windows form
    std::optional<FileStamp> now;  // created and replaced
    std::optional<FileStamp> old;  // replaced
    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

enum class TextureAction {
    kInserted,  // `text` is the block inserted; no block carried the identifier before
    kReplaced,  // `text` replaced the block `old`
    kRemoved,   // an empty definition removed the block `old`
};

struct TextureEntry {
    TextureAction action = TextureAction::kInserted;
    int identifier = 0;
    std::string text;  // exactly as placed in the catalogue's text
    std::string old;   // exactly as removed from it
    friend bool operator==(const TextureEntry&, const TextureEntry&) = default;
};

// The catalogue as the run found it and as it left it; the old version is kept in the store.
struct CatalogChange {
    std::string path;  // the full Windows path, as the host's registry entries name it
    FileStamp before;
    FileStamp after;
    friend bool operator==(const CatalogChange&, const CatalogChange&) = default;
};

struct InstallRecord {
    std::string package;  // the package folder's name as the user sees it
    Hash script;          // of the package's install script: two versions are two packages
    std::string host;     // the host's folder, with its trailing backslash
    std::string date;     // UTC, ISO 8601: 2026-12-08T02:21:31Z
    RecordState state = RecordState::kStarted;
    std::vector<std::string> folders;  // made by the run, outermost first; relative to the host
    std::vector<FileEntry> files;      // in the order of the script
    std::optional<CatalogChange> catalog;
    std::vector<TextureEntry> textures;  // in the order of the script
    friend bool operator==(const InstallRecord&, const InstallRecord&) = default;
};

// The record as text, in the current format version.
std::string WriteRecord(const InstallRecord& record);

// One line of a record's body, with its line feed.
std::string FolderLine(const std::string& folder);
std::string FileLine(const FileEntry& file);

// The journal of the record at `recordPath` (record-....txt: record-....journal). While a run is
// under way, it appends to its journal the line of each folder it may make and of each file it
// creates or replaces, just before the change; the record itself is written whole, now and then.
// A run killed half-way thus leaves in its journal every change it may have made.
std::string JournalOf(std::string_view recordPath);

struct ReadError;
// Reads `journal`, the lines of folders and files, into `record` in place of the folders and
// files it lists. A last line without its line feed is passed over: the run was killed while it
// appended it, before the change it tells of. False, with `error` (its line in the journal), when
// a line is damaged.
bool ReadJournal(std::string_view journal, InstallRecord& record, ReadError& error);

// Why a record could not be read, and on which line (1-based; the line after the last where the
// text ended too early).
struct ReadError {
    enum class Kind {
        kDamaged,    // a line that the format does not allow
        kTruncated,  // the text ends before its end line
        kNewer,      // written by a newer format version
    };
    Kind kind = Kind::kDamaged;
    std::size_t line = 0;
    std::string what;  // in English, for a person: what was wrong there
};

// Reads a record from `text`. Never throws on any input; fills `error` when it returns none.
std::optional<InstallRecord> ReadRecord(std::string_view text, ReadError& error);

// "file:line: what", the error as both programs show it.
std::string DescribeError(std::string_view file, const ReadError& error);

}  // namespace kolvane::records
