#include "platform/write_core.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace kolvane::platform {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;
constexpr std::size_t kNameCut = 200;  // leaves room for the mark and digits within 255 bytes
constexpr std::size_t kRandomDigits = 8;
constexpr std::size_t kCheckDigits = 4;
// Old contents kept in memory where the folder takes no copy of them, up to this size.
constexpr std::uint64_t kMemoryKeep = std::uint64_t{64} << 20;
constexpr int kNameAttempts = 16;
constexpr std::chrono::milliseconds kClaimPause{50};

// A copy never replaces a file with one of these, as CopyFileA refuses to; a rewrite only a
// read-only one.
constexpr std::uint32_t kProtected = kAttributeReadOnly | kAttributeHidden | kAttributeSystem;

std::uint32_t CheckOf(std::string_view text) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return (hash ^ (hash >> 16)) & 0xFFFFu;
}

void AppendHex(std::string& text, std::uint32_t value, std::size_t digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = digits; i-- > 0;) {
        text += kDigits[(value >> (4 * i)) & 0xF];
    }
}

std::uint32_t RandomPart() {
    static std::mt19937 random(std::random_device{}());
    return static_cast<std::uint32_t>(random());
}

}  // namespace

std::string TemporaryName(std::string_view name, std::uint32_t random) {
    std::string temporary(name.substr(0, kNameCut));
    temporary += kTemporaryMark;
    AppendHex(temporary, random, kRandomDigits);
    AppendHex(temporary, CheckOf(temporary), kCheckDigits);
    return temporary;
}

bool IsTemporaryName(std::string_view name) {
    constexpr std::size_t kSuffix = kTemporaryMark.size() + kRandomDigits + kCheckDigits;
    if (name.size() <= kSuffix ||
        name.substr(name.size() - kSuffix, kTemporaryMark.size()) != kTemporaryMark) {
        return false;
    }
    const std::string_view digits = name.substr(name.size() - kRandomDigits - kCheckDigits);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
        return false;
    }
    std::string check;
    AppendHex(check, CheckOf(name.substr(0, name.size() - kCheckDigits)), kCheckDigits);
    return name.substr(name.size() - kCheckDigits) == check;
}

// New contents: another file's, or bytes in memory.
class WriteCore::Source {
  public:
    virtual ~Source() = default;
    virtual std::uint64_t Size() const = 0;
    virtual bool Read(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) = 0;
};

namespace {

class FileSource : public WriteCore::Source {
  public:
    FileSource(NativeFile& file, std::uint64_t size, ReadWatch* watch = nullptr)
        : file_(file), size_(size), watch_(watch) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) override {
        if (!file_.ReadAt(offset, data, size, got)) {
            return false;
        }
        if (watch_ != nullptr) {
            watch_->Read(offset, std::string_view(data, got));
        }
        return true;
    }

  private:
    NativeFile& file_;
    std::uint64_t size_;
    ReadWatch* watch_;
};

class TextSource : public WriteCore::Source {
  public:
    explicit TextSource(std::string_view text) : text_(text) {}
    std::uint64_t Size() const override { return text_.size(); }
    bool Read(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) override {
        const std::size_t from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, Size()));
        got = std::min(size, text_.size() - from);
        std::memcpy(data, text_.data() + from, got);
        return true;
    }

  private:
    std::string_view text_;
};

// Block `which` of two, never cleared: writing or comparing a short text touches only the pages
// it fills.
char* Buffer(int which) {
    static const std::unique_ptr<char[]> buffers[2] = {
        std::make_unique_for_overwrite<char[]>(kBlock),
        std::make_unique_for_overwrite<char[]>(kBlock)};
    return buffers[which].get();
}

// Writes bytes [begin, end) of `from` to `to` at the same offsets.
bool WriteRange(WriteCore::Source& from, NativeFile& to, std::uint64_t begin, std::uint64_t end) {
    char* block = Buffer(0);
    for (std::uint64_t at = begin; at < end;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kBlock));
        std::size_t got = 0;
        if (!from.Read(at, block, want, got) || got != want || !to.WriteAt(at, block, want)) {
            return false;
        }
        at += want;
    }
    return true;
}

// Whether both hold the same bytes, compared block by block up to the first difference.
bool SameBytes(WriteCore::Source& a, WriteCore::Source& b) {
    if (a.Size() != b.Size()) {
        return false;
    }
    char* blockA = Buffer(0);
    char* blockB = Buffer(1);
    for (std::uint64_t at = 0; at < a.Size();) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(a.Size() - at, kBlock));
        std::size_t gotA = 0;
        std::size_t gotB = 0;
        if (!a.Read(at, blockA, want, gotA) || !b.Read(at, blockB, want, gotB) || gotA != want ||
            gotB != want || std::memcmp(blockA, blockB, want) != 0) {
            return false;
        }
        at += want;
    }
    return true;
}

// A new file beside a spot under a temporary name, locked while it exists; removed again unless
// it was put in the spot's place.
class Temporary {
  public:
    explicit Temporary(Spot& spot) : spot_(spot) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() { Discard(); }

    MakeResult Make(const FileInfo* like, bool readable) {
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            name_ = TemporaryName(spot_.Name(), RandomPart());
            const MakeResult result = spot_.MakeBeside(name_, like, readable, file_);
            if (result == MakeResult::kMade) {
                return result;
            }
            name_.clear();
            if (result != MakeResult::kExists) {
                return result;
            }
        }
        return MakeResult::kFailed;
    }

    NativeFile& File() { return *file_; }

    PutResult PutInPlace(bool replace) {
        const PutResult result = spot_.PutInPlace(file_, name_, replace);
        if (result == PutResult::kDone) {
            name_.clear();
        }
        return result;
    }

    void Discard() {
        if (!name_.empty()) {
            spot_.RemoveBeside(name_, std::move(file_));
            name_.clear();
        }
    }

    // Closes the file and leaves it where it is.
    void Leave() {
        file_.reset();
        name_.clear();
    }

  private:
    Spot& spot_;
    std::string name_;
    std::unique_ptr<NativeFile> file_;
};

// The old contents of a file written in place: a copy beside it, or in memory where its folder
// takes no copy. The copy is removed unless the file could not be made whole again.
class OldContents {
  public:
    explicit OldContents(Spot& spot) : copy_(spot) {}

    bool Keep(NativeFile& file, std::uint64_t size) {
        size_ = size;
        FileSource old(file, size);
        const MakeResult made = copy_.Make(nullptr, true);
        if (made == MakeResult::kMade) {
            inFile_ = true;
            return WriteRange(old, copy_.File(), 0, size) && copy_.File().Flush();
        }
        if ((made != MakeResult::kRefused && made != MakeResult::kNoRoom) || size > kMemoryKeep) {
            return false;
        }
        memory_.resize(static_cast<std::size_t>(size));
        std::size_t got = 0;
        return file.ReadAt(0, memory_.data(), memory_.size(), got) && got == memory_.size();
    }

    // Writes the old contents back over `file`.
    bool Restore(NativeFile& file) {
        FileSource fromCopy(inFile_ ? copy_.File() : file, size_);
        TextSource fromMemory(memory_);
        Source& old = inFile_ ? static_cast<Source&>(fromCopy) : fromMemory;
        return WriteRange(old, file, 0, size_) && file.Truncate(size_) && file.Flush();
    }

    // Leaves the copy where it is, for the user: the file is neither old nor new.
    void Abandon() { copy_.Leave(); }

  private:
    using Source = WriteCore::Source;
    Temporary copy_;
    bool inFile_ = false;
    std::uint64_t size_ = 0;
    std::string memory_;
};

}  // namespace

WriteCore::WriteCore(FileSystem& system) : system_(system) {}
WriteCore::~WriteCore() = default;

FileHandle WriteCore::OpenForReading(const std::string& path) {
    OpenError error = OpenError::kNone;
    std::unique_ptr<NativeFile> file = system_.OpenForReading(path, false, error);
    if (!file) {
        return kInvalidFile;
    }
    const auto handle = reinterpret_cast<FileHandle>(file.get());
    open_.emplace(handle, std::move(file));
    return handle;
}

bool WriteCore::LastWriteTime(FileHandle file, FileTime& time) {
    const auto found = open_.find(file);
    if (found == open_.end()) {
        return false;
    }
    time = found->second->Info().written;
    return true;
}

void WriteCore::CloseFile(FileHandle file) {
    appendAt_.erase(file);
    if (open_.erase(file) == 0) {
        claims_.erase(file);
    }
}

void WriteCore::Look(const std::string& path, Sight& sight) {
    sight = system_.Look(path, true, false);
}

DirectoryResult WriteCore::MakeDirectory(const std::string& path) {
    switch (system_.MakeDirectory(path)) {
        case FileSystem::MadeFolder::kCreated:
            return DirectoryResult::kCreated;
        case FileSystem::MadeFolder::kExists:
            return DirectoryResult::kAlreadyExists;
        case FileSystem::MadeFolder::kFailed:
            break;
    }
    return DirectoryResult::kFailed;
}

bool WriteCore::MakeNormal(const std::string& path, const FileInfo* known) {
    return system_.SetNormalAttributes(path, known);
}

const std::optional<std::string>& WriteCore::RealFolder(const std::string& folder) {
    const auto known = realFolders_.find(folder);
    if (known != realFolders_.end()) {
        return known->second;
    }
    return realFolders_.emplace(folder, system_.RealPath(folder)).first->second;
}

Location WriteCore::Locate(const std::string& path, const std::string& folder, Sight* sight) {
    const std::optional<std::string>& base = RealFolder(folder);
    Sight seen = system_.Look(path, sight != nullptr, true);
    Location location = Location::kUnknown;
    if (base && seen.real) {
        location = system_.Contains(*base, *seen.real) ? Location::kInside : Location::kOutside;
    }
    if (sight != nullptr) {
        *sight = std::move(seen);
    }
    return location;
}

void WriteCore::TidyWithin(const std::string& folder) {
    scope_ = RealFolder(folder);
}

void WriteCore::Tidy(Spot& spot) {
    if (!scope_ || spot.FolderMadeThisRun()) {
        return;
    }
    const std::optional<std::string> folder = spot.RealFolder();
    if (!folder || !tidied_.insert(*folder).second || !system_.Contains(*scope_, *folder)) {
        return;
    }
    for (const std::string& name : spot.NamesWith(kTemporaryMark)) {
        if (!IsTemporaryName(name)) {
            continue;
        }
        // A run that is still writing holds its file open and marked; a killed run holds
        // nothing any more.
        std::unique_ptr<NativeFile> leftover = spot.OpenToRemove(name);
        if (leftover && leftover->Lock(true) == LockResult::kTaken) {
            spot.RemoveOpened(name, std::move(leftover));
        }
    }
}

std::unique_ptr<NativeFile> WriteCore::OpenSource(const std::string& source, Sight* from) {
    if (from != nullptr && from->file) {
        return std::move(from->file);
    }
    OpenError error = OpenError::kNone;
    return system_.OpenForReading(source, false, error);
}

bool WriteCore::Copy(const std::string& source, const std::string& destination, Sight* from,
                     Sight* present, FileInfo* made) {
    const std::unique_ptr<NativeFile> input = OpenSource(source, from);
    if (!input) {
        return false;
    }
    Sight there = present != nullptr ? std::move(*present) : system_.Look(destination, true, false);
    return CopyOnto(*input, destination, std::move(there), true, made);
}

bool WriteCore::CopyKeeping(const std::string& source, const std::string& destination, Sight* from,
                            Sight* present, FileInfo* made, CopyWatch& watch, Kept& kept) {
    const std::unique_ptr<NativeFile> input = OpenSource(source, from);
    kept = Kept::kNothing;
    if (!input) {
        return false;
    }
    Sight there = present != nullptr ? std::move(*present) : system_.Look(destination, true, false);
    Keeping keep{watch, std::nullopt, Kept::kNothing, false, false};
    const bool copied = CopyOnto(*input, destination, std::move(there), true, made, &keep);
    kept = keep.kept;
    return copied;
}

std::vector<std::string> WriteCore::NamesIn(const std::string& folder, std::string_view mark) {
    // The spot of a name in the folder lists the folder.
    const std::unique_ptr<Spot> spot = system_.SpotOf(folder + "\\" + std::string(mark), nullptr);
    return spot ? spot->NamesWith(mark) : std::vector<std::string>{};
}

bool WriteCore::RemoveFile(const std::string& path) {
    const std::unique_ptr<Spot> spot = system_.SpotOf(path, nullptr);
    if (!spot || !spot->Present() || !spot->Present()->regular) {
        return false;
    }
    spot->RemoveBeside(spot->Name(), nullptr);
    return system_.Look(path, false, false).missing;
}

FileHandle WriteCore::OpenForAppending(const std::string& path) {
    const std::unique_ptr<Spot> spot = system_.SpotOf(path, nullptr);
    if (!spot || !spot->Present() || !spot->Present()->regular || !spot->MayWritePresent()) {
        return kInvalidFile;
    }
    std::unique_ptr<NativeFile> file = spot->OpenInPlace();
    if (!file) {
        return kInvalidFile;
    }
    const auto handle = reinterpret_cast<FileHandle>(file.get());
    appendAt_[handle] = file->Info().size;
    open_[handle] = std::move(file);
    return handle;
}

bool WriteCore::Append(FileHandle file, std::string_view text) {
    const auto open = open_.find(file);
    const auto at = appendAt_.find(file);
    if (open == open_.end() || at == appendAt_.end() ||
        !open->second->WriteAt(at->second, text.data(), text.size())) {
        return false;
    }
    at->second += text.size();
    return true;
}

bool WriteCore::AppendTo(const std::string& path, std::string_view text) {
    const FileHandle file = OpenForAppending(path);
    const bool appended = file != kInvalidFile && Append(file, text);
    CloseFile(file);
    return appended;
}

void WriteCore::TidyFolder(const std::string& folder) {
    // The spot of a name in the folder lists the folder.
    if (const std::unique_ptr<Spot> spot =
            system_.SpotOf(folder + "\\" + std::string(kTemporaryMark), nullptr)) {
        Tidy(*spot);
    }
}

Location WriteCore::LocateSeen(const Sight& sight, const std::string& folder) {
    const std::optional<std::string>& base = RealFolder(folder);
    if (!base || !sight.real) {
        return Location::kUnknown;
    }
    return system_.Contains(*base, *sight.real) ? Location::kInside : Location::kOutside;
}

bool WriteCore::RemoveEmptyFolder(const std::string& path) {
    return system_.RemoveEmptyDirectory(path);
}

void WriteCore::AskKeepName(const std::string& path, NativeFile* present, Keeping& keep) {
    if (keep.kept != Kept::kNothing) {
        return;
    }
    std::unique_ptr<NativeFile> opened;
    if (present == nullptr) {
        OpenError error = OpenError::kNone;
        opened = system_.OpenForReading(path, true, error);
        present = opened.get();
    }
    keep.as = keep.watch.KeepAs(present, path);
    keep.placing = false;
}

void WriteCore::Starting(const std::string& path, Keeping* keep) {
    if (keep != nullptr && !keep->starting) {
        keep->starting = true;
        keep->watch.Starting(path);
    }
}

void WriteCore::Placing(const std::string& path, Keeping* keep) {
    if (keep != nullptr && !keep->placing) {
        keep->placing = true;
        keep->watch.Placing(path);
    }
}

bool WriteCore::KeepCopy(const std::string& path, Keeping& keep) {
    if (keep.kept != Kept::kNothing) {
        return keep.kept == Kept::kCopied;  // a further name would change with the file
    }
    if (!keep.as) {
        AskKeepName(path, nullptr, keep);
    }
    if (keep.as->empty()) {
        return true;
    }
    OpenError error = OpenError::kNone;
    const std::unique_ptr<NativeFile> old = system_.OpenForReading(path, true, error);
    Sight free;
    free.missing = true;
    keep.kept = old && CopyOnto(*old, *keep.as, std::move(free), false, nullptr) ? Kept::kCopied
                                                                                 : Kept::kFailed;
    return keep.kept == Kept::kCopied;
}

bool WriteCore::CopyOnto(NativeFile& input, const std::string& destination, Sight present,
                         bool trustFree, FileInfo* made, Keeping* keep) {
    const FileInfo& source = input.Info();
    ReadWatch* const watch = keep != nullptr ? &keep->watch : nullptr;
    if (!present.missing && !present.info && present.file) {
        present.info = present.file->Info();
    }
    if (present.info) {
        if (!present.info->regular || (present.info->attributes & kProtected) != 0) {
            return false;
        }
        // Installing a package again copies every file again: a file that already is what the
        // copy would make is left alone.
        if (present.info->size == source.size && present.info->written == source.written) {
            if (!present.file) {
                OpenError error = OpenError::kNone;
                present.file = system_.OpenForReading(destination, false, error);
            }
            FileSource ours(input, source.size, watch);
            if (present.file) {
                FileSource theirs(*present.file, source.size);
                if (SameBytes(ours, theirs)) {
                    if (made != nullptr) {
                        *made = *present.info;
                    }
                    return true;
                }
            }
        }
        if (keep != nullptr) {
            AskKeepName(destination, present.file.get(), *keep);
        }
        // Windows renames nothing over a file that is open.
        present.file.reset();
    }
    const std::unique_ptr<Spot> spot =
        system_.SpotOf(destination, present.missing || present.info ? &present : nullptr);
    if (!spot) {
        return false;
    }
    const std::optional<FileInfo>& there = spot->Present();
    if (there && (!spot->MayWritePresent() || !there->regular)) {
        return false;
    }
    Starting(destination, keep);
    FileSource contents(input, source.size, watch);
    // A file with several names is written in place, so that every name shows the new contents;
    // the old ones are kept until then.
    // A file written in place keeps no further name of its old contents: they are copied first.
    const auto keptCopy = [&] {
        if (keep != nullptr && there && keep->kept == Kept::kNothing && !keep->as) {
            AskKeepName(destination, nullptr, *keep);
        }
        Placing(destination, keep);
        return keep == nullptr || !there || KeepCopy(destination, *keep);
    };
    if (there && there->links > 1) {
        return keptCopy() && WriteInPlace(*spot, contents, true, &source) &&
               (made == nullptr || (*made = source, true));
    }
    Tidy(*spot);
    const bool free = trustFree && !there && spot->KnownFree();
    Temporary temporary(*spot);
    switch (temporary.Make(&source, false)) {
        case MakeResult::kMade:
            break;
        case MakeResult::kNoRoom:
            return keptCopy() && WriteInPlace(*spot, contents, false, &source) &&
                   (made == nullptr || (*made = source, true));
        case MakeResult::kRefused:
            // A folder that takes no new files: the present file, which the user may write, is
            // written in place, as Windows writes it.
            return there && keptCopy() && WriteInPlace(*spot, contents, false, &source) &&
                   (made == nullptr || (*made = source, true));
        case MakeResult::kExists:
        case MakeResult::kFailed:
            return false;
    }
    NativeFile& output = temporary.File();
    if (!output.CopyFrom(input, watch) || !output.TakeTimeAndAttributes(source)) {
        return false;
    }
    if (made != nullptr) {
        *made = output.Info();
    }
    // The old file takes its further name right before the rename, or is copied there.
    const bool keeping = keep != nullptr && there && keep->kept == Kept::kNothing;
    if (keeping && !keep->as) {
        AskKeepName(destination, nullptr, *keep);
    }
    Placing(destination, keep);
    if (keeping && !keep->as->empty()) {
        if (spot->LinkPresentTo(*keep->as)) {
            keep->kept = Kept::kLinked;
        } else if (!KeepCopy(destination, *keep)) {
            return false;
        }
    }
    switch (temporary.PutInPlace(!free)) {
        case PutResult::kDone:
            return true;
        case PutResult::kExists:
        case PutResult::kCannotKeep: {
            // Another program has put the name there meanwhile, or the file system cannot rename
            // only onto a free name: as any present file.
            temporary.Discard();
            return CopyOnto(input, destination, Sight{}, false, made, keep);
        }
        case PutResult::kHeldOpen:
            // Another program holds the file open; where it shares it for writing, the file is
            // written in place, its old contents kept until the new ones are whole. A further
            // name given to it would change with it, so it is not replaced where one was given.
            temporary.Discard();
            if (keep != nullptr && keep->kept == Kept::kLinked) {
                return false;
            }
            return WriteInPlace(*spot, contents, true, &source) &&
                   (made == nullptr || (*made = source, true));
        case PutResult::kFailed:
            break;
    }
    return false;
}

bool WriteCore::WriteInPlace(Spot& spot, Source& contents, bool keepOld, const FileInfo* copyOf) {
    const std::unique_ptr<NativeFile> file = spot.OpenInPlace();
    if (!file || !file->Info().regular) {
        return false;
    }
    const std::uint64_t oldSize = file->Info().size;
    const std::uint64_t newSize = contents.Size();
    OldContents old(spot);
    const bool keeping = keepOld && oldSize > 0;
    if (keeping && !old.Keep(*file, oldSize)) {
        return false;
    }
    // The part beyond the old end first: a full disk stops the write before an old byte changed.
    if (newSize > oldSize && !WriteRange(contents, *file, oldSize, newSize)) {
        if (!file->Truncate(oldSize)) {
            old.Abandon();
        }
        return false;
    }
    FileSource written(*file, newSize);
    const bool whole = WriteRange(contents, *file, 0, std::min(oldSize, newSize)) &&
                       file->Truncate(newSize) && file->Flush() &&
                       (!keepOld || SameBytes(written, contents));
    if (!whole) {
        if (keeping && !old.Restore(*file)) {
            old.Abandon();
        }
        return false;
    }
    // The time and attributes follow where the system lets this user set them: a file of another
    // owner takes new contents but keeps its own, as with CopyFileA.
    if (copyOf != nullptr) {
        file->TakeTimeAndAttributes(*copyOf);
    }
    return true;
}

bool WriteCore::ReadContents(const std::string& path, std::string& contents) {
    // The catalogue is read while a claim holds it open for writing.
    OpenError error = OpenError::kNone;
    const std::unique_ptr<NativeFile> file = system_.OpenForReading(path, true, error);
    if (!file) {
        return false;
    }
    // Read straight into one allocation of the file's size, then on while the file grows.
    contents.assign(static_cast<std::size_t>(file->Info().size), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == contents.size()) {
            contents.resize(filled + std::max<std::size_t>(filled / 2, 4096));
        }
        std::size_t got = 0;
        if (!file->ReadAt(filled, contents.data() + filled, contents.size() - filled, got)) {
            return false;
        }
        filled += got;
        if (filled < contents.size()) {
            contents.resize(filled);
            return true;
        }
    }
}

WriteCore::Claim* WriteCore::ClaimOn(const std::string& path) {
    for (auto& [handle, claim] : claims_) {
        if (claim.path == path) {
            return &claim;
        }
    }
    return nullptr;
}

bool WriteCore::ReplaceContents(const std::string& path, std::string_view contents) {
    Claim* claim = ClaimOn(path);
    Sight present = system_.Look(path, false, false);
    if ((!present.missing && !present.info) || (present.missing && claim != nullptr)) {
        return false;
    }
    if (present.info && (present.info->attributes & kAttributeReadOnly) != 0) {
        return false;
    }
    const std::unique_ptr<Spot> spot = system_.SpotOf(path, &present);
    if (!spot) {
        return false;
    }
    const std::optional<FileInfo>& there = spot->Present();
    if (there && (!spot->MayWritePresent() || !there->regular)) {
        return false;
    }
    TextSource text(contents);
    // A file that holds these very bytes already is left as it is: rewriting it would change
    // nothing but its time, and cost a flush to disk.
    if (there && there->size == contents.size()) {
        std::unique_ptr<NativeFile> opened;
        NativeFile* file = claim != nullptr ? claim->file.get() : nullptr;
        if (file == nullptr) {
            OpenError error = OpenError::kNone;
            opened = system_.OpenForReading(path, true, error);
            file = opened.get();
        }
        if (file != nullptr) {
            FileSource current(*file, contents.size());
            if (SameBytes(current, text)) {
                return true;
            }
        }
    }
    // Checked just before the file is written: another program may have changed it since it was
    // claimed and read, and that is not to be overwritten.
    const auto unchanged = [&] {
        return claim == nullptr || (claim->file && system_.Names(path, *claim->file, true));
    };
    const auto inPlace = [&] { return unchanged() && WriteInPlace(*spot, text, true, nullptr); };
    if (there && there->links > 1) {
        return inPlace();
    }
    Tidy(*spot);
    Temporary temporary(*spot);
    switch (temporary.Make(nullptr, true)) {
        case MakeResult::kMade:
            break;
        case MakeResult::kNoRoom:
            return inPlace();
        case MakeResult::kRefused:
            // A folder that takes no new files: the catalogue, which the user may write, is
            // written in place, with its old contents kept until the new ones are whole.
            return there && inPlace();
        case MakeResult::kExists:
        case MakeResult::kFailed:
            return false;
    }
    NativeFile& output = temporary.File();
    FileSource written(output, text.Size());
    // Nothing written is nothing a crash could lose: an empty file goes unflushed.
    if (!WriteRange(text, output, 0, text.Size()) || (text.Size() != 0 && !output.Flush()) ||
        !SameBytes(written, text) || !output.KeepAttributesOf(there ? &*there : nullptr) ||
        !unchanged()) {
        return false;
    }
    switch (temporary.PutInPlace(true)) {
        case PutResult::kDone:
            return true;
        case PutResult::kHeldOpen:
            break;
        default:
            return false;
    }
    if (claim != nullptr && claim->file) {
        // Windows renames nothing over a file that is open, even one shared for deleting: the
        // claim is given up just before. A run that takes it in that moment finds the file
        // changed when it writes back, and fails rather than lose this write.
        const FileInfo claimed = claim->file->Info();
        claim->file.reset();
        if (temporary.PutInPlace(true) == PutResult::kDone) {
            return true;
        }
        // Another program keeps the file from being replaced, and so from being renamed over by
        // other runs too: the claim is taken again for the write in place, on the file as it was
        // claimed. A run that took the claim meanwhile, or changed the file, makes this one fail.
        if (!Reclaim(*claim, claimed)) {
            return false;
        }
    }
    // Another program holds the file open; where it shares it for writing, the catalogue is
    // written in place, its old contents kept until the new ones are whole.
    temporary.Discard();
    return inPlace();
}

bool WriteCore::Reclaim(Claim& claim, const FileInfo& claimed) {
    std::unique_ptr<NativeFile> file = system_.OpenForClaim(claim.path);
    if (!file) {
        return false;
    }
    const LockResult locked = file->Lock(true);
    if ((locked != LockResult::kTaken && locked != LockResult::kUnsupported) ||
        file->Info().size != claimed.size || file->Info().written != claimed.written) {
        return false;
    }
    claim.file = std::move(file);
    return true;
}

ClaimResult WriteCore::ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                                      FileHandle& claim) {
    claim = kInvalidFile;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        std::unique_ptr<NativeFile> file = system_.OpenForClaim(path);
        if (!file) {
            return ClaimResult::kFailed;
        }
        for (;;) {
            const LockResult locked = file->Lock(true);
            if (locked == LockResult::kTaken || locked == LockResult::kUnsupported) {
                break;  // a file system without locks, where Wine goes without them too
            }
            if (locked != LockResult::kHeld) {
                return ClaimResult::kFailed;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                return ClaimResult::kBusy;
            }
            system_.Pause(
                std::min(kClaimPause,
                         std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)));
        }
        // The run that held the claim may have replaced the file meanwhile. The claim must be on
        // the file that the path names now, for the next run to wait for this one.
        if (!file->Refresh()) {
            return ClaimResult::kFailed;
        }
        if (system_.Names(path, *file, false)) {
            claim = nextClaim_--;
            claims_.emplace(claim, Claim{path, std::move(file)});
            return ClaimResult::kClaimed;
        }
    }
}

}  // namespace kolvane::platform
