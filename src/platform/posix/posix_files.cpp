#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "names/letter_case.h"
#include "names/windows_text.h"
#include "platform/posix/copy_data.h"
#include "platform/posix/retry_on_signal.h"
#include "platform/posix/unique_fd.h"

namespace kolvane::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;
constexpr std::int64_t kStepsPerSecond = 10'000'000;

FileTime ToFileTime(const timespec& time) {
    const std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kEpochDifference;
    if (seconds < 0) {
        return 0;
    }
    return static_cast<FileTime>(seconds) * kStepsPerSecond +
           static_cast<FileTime>(time.tv_nsec / 100);
}

bool IsWritableByOwner(const struct stat& status) {
    return (status.st_mode & S_IWUSR) != 0;
}

// The claimed byte lies at 2^62: beyond the end of any file, where Wine puts Kolvane.exe's claim.
constexpr off_t kClaimedByte = off_t{1} << 62;

// Takes (or, with F_UNLCK as `type`, tests for) an open-file-description lock on `length` bytes
// from `start` (0: to the end and beyond). False with errno set when another holds one.
bool LockRange(int fd, short type, off_t start, off_t length, bool test = false) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    if (test) {
        if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) {
            return false;
        }
        if (lock.l_type != F_UNLCK) {
            errno = EAGAIN;
            return false;
        }
        return true;
    }
    return RetryOnSignal([&] { return ::fcntl(fd, F_OFD_SETLK, &lock); }) == 0;
}

using Place = PathResolver::Place;

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO in a package from stalling the
// installer until a writer appears; it has no effect on a regular file.
UniqueFd OpenRegularFile(const Place& place, struct stat& status) {
    UniqueFd fd(RetryOnSignal([&] {
        return ::openat(place.directory, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }));
    if (!fd.Valid() || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return UniqueFd();
    }
    return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = RetryOnSignal([&] { return ::write(fd, data, size); });
        if (written < 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The errors with which the kernel says that it cannot copy between these two files at all: a
// kernel without the call, two file systems it does not copy between, a file system or kind of
// file that does not take part. Any other error (a full disk, a failing device) fails the copy;
// plain writes would only meet it again.
bool KernelCopyUnsupported(int error) {
    static_assert(ENOTSUP == EOPNOTSUPP, "one value on Linux; a system that splits them adds it");
    return error == ENOSYS || error == EXDEV || error == EOPNOTSUPP || error == EINVAL;
}

// Creates a new file in `directory` named `stem` and six random letters or digits, as mkostemp
// does, with the permissions `mode` (as far as the folder lets them through); `name` is set to its
// name, or cleared when none could be made.
UniqueFd CreateUnique(int directory, const std::string& stem, std::string& name,
                      mode_t mode = 0600) {
    static constexpr char kSymbols[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem;
        for (int i = 0; i < 6; ++i) {
            name += kSymbols[random() % (sizeof kSymbols - 1)];
        }
        UniqueFd fd(::openat(directory, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (fd.Valid() || errno != EEXIST) {
            if (!fd.Valid()) {
                name.clear();
            }
            return fd;
        }
    }
    name.clear();
    return UniqueFd();
}

// The stem of temporary names: ".name.kolvane-", with six letters or digits after it. A long
// name is cut, so that the temporary name still fits the name limit (255 bytes).
std::string TemporaryStem(const std::string& name) {
    return "." + name.substr(0, 200) + ".kolvane-";
}

bool IsTemporaryName(std::string_view name) {
    constexpr std::string_view kMark = ".kolvane-";
    constexpr std::size_t kRandom = 6;
    if (name.size() < 1 + kMark.size() + kRandom || name[0] != '.' ||
        name.substr(name.size() - kRandom - kMark.size(), kMark.size()) != kMark) {
        return false;
    }
    return std::all_of(name.end() - kRandom, name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

// A new file beside `target` in `directory` under a temporary name, locked while it exists;
// removed again unless Commit renames it over the target.
class TemporaryBeside {
  public:
    TemporaryBeside(int directory, std::string target, mode_t mode = 0600)
        : directory_(directory),
          target_(std::move(target)),
          fd_(CreateUnique(directory_, TemporaryStem(target_), name_, mode)) {
        error_ = fd_.Valid() ? 0 : errno;
        // The lock tells another run's clean-up that this file is still being written.
        if (fd_.Valid()) {
            LockRange(fd_.Get(), F_WRLCK, 0, 0);
        }
    }
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;
    ~TemporaryBeside() {
        if (!name_.empty()) {
            ::unlinkat(directory_, name_.c_str(), 0);
        }
    }

    bool Valid() const { return fd_.Valid(); }
    // Why it could not be made: EACCES when the folder takes no new files.
    int Error() const { return error_; }
    int Fd() const { return fd_.Get(); }

    // Renames the file over the target, then closes it. Without `replace`, only while there is
    // no target: EEXIST when there is one, EINVAL when the file system cannot tell.
    bool Commit(bool replace = true) {
        if (::renameat2(directory_, name_.c_str(), directory_, target_.c_str(),
                        replace ? 0 : RENAME_NOREPLACE) != 0) {
            return false;
        }
        name_.clear();
        return fd_.Close();
    }

  private:
    int directory_;
    std::string target_;
    std::string name_;
    UniqueFd fd_;
    int error_ = 0;
};

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
ssize_t ReadAt(int fd, char* data, std::size_t size, off_t offset) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = RetryOnSignal(
            [&] { return ::pread(fd, data + got, size - got, offset + static_cast<off_t>(got)); });
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// True when the file at `place` already is what copying `source` over it would make: the same
// size, last-write time, permission bits and bytes. Any doubt (a read error) says no.
bool IsAlreadyCopy(int source, const struct stat& sourceStatus, const Place& place,
                   const struct stat& existing) {
    if (existing.st_size != sourceStatus.st_size ||
        existing.st_mtim.tv_sec != sourceStatus.st_mtim.tv_sec ||
        existing.st_mtim.tv_nsec != sourceStatus.st_mtim.tv_nsec ||
        (existing.st_mode & 07777) != (sourceStatus.st_mode & 0777)) {
        return false;
    }
    const UniqueFd present(RetryOnSignal([&] {
        return ::openat(place.directory, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }));
    if (!present.Valid()) {
        return false;
    }
    constexpr std::size_t kChunk = 1 << 16;
    const std::unique_ptr<char[]> ours(new char[kChunk]);
    const std::unique_ptr<char[]> theirs(new char[kChunk]);
    for (off_t offset = 0;; offset += static_cast<off_t>(kChunk)) {
        const ssize_t a = ReadAt(source, ours.get(), kChunk, offset);
        const ssize_t b = ReadAt(present.Get(), theirs.get(), kChunk, offset);
        if (a < 0 || a != b ||
            std::memcmp(ours.get(), theirs.get(), static_cast<std::size_t>(a)) != 0) {
            return false;
        }
        if (static_cast<std::size_t>(a) < kChunk) {
            return offset + a == sourceStatus.st_size;
        }
    }
}

// Whether the calling user may write the file at `place`, as Windows would let them: by the
// file's own permissions, not the folder's. Root, whom the system lets write anything, may write
// what its owner may.
bool MayWrite(const Place& place, const struct stat& status) {
    if (::geteuid() == 0) {
        return IsWritableByOwner(status);
    }
    return ::faccessat(place.directory, place.name.c_str(), W_OK, AT_EACCESS) == 0;
}

// The state of the file a write is about to replace. False when it must not be replaced.
bool MayReplace(const Place& place, struct stat& existing, bool& exists) {
    if (place.absent) {
        exists = false;  // the lookup of the place has just found no entry there
        return true;
    }
    if (::fstatat(place.directory, place.name.c_str(), &existing, 0) != 0) {
        exists = false;
        return errno == ENOENT;
    }
    exists = true;
    return S_ISREG(existing.st_mode) && MayWrite(place, existing);
}

// Where a write of the file at `place` goes: `place` itself, or, where a symbolic link stands,
// the file it leads to, in its own folder.
struct WriteTarget {
    UniqueFd ownDirectory;  // the folder of a link's file, while it is written
    int directory = -1;
    std::string name;
};

bool ResolveTarget(const Place& place, WriteTarget& target) {
    target.directory = place.directory;
    target.name = place.name;
    struct stat own {};
    if (::fstatat(place.directory, place.name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(own.st_mode)) {
        return true;
    }
    const UniqueFd file(::openat(place.directory, place.name.c_str(), O_PATH | O_CLOEXEC));
    const std::optional<std::string> real = PathOfDescriptor(file.Get());
    if (!real) {
        return false;  // a link that leads nowhere
    }
    const std::size_t slash = real->rfind('/');
    target.ownDirectory = UniqueFd(::open(slash == 0 ? "/" : real->substr(0, slash).c_str(),
                                          O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    target.directory = target.ownDirectory.Get();
    target.name = real->substr(slash + 1);
    return target.ownDirectory.Valid();
}

// New contents of a file: from memory or from another file, read at any offset.
class Contents {
  public:
    virtual ~Contents() = default;
    virtual off_t Size() const = 0;
    // Up to `size` bytes from `offset`; fewer only at the end; -1 after a read error.
    virtual ssize_t Read(off_t offset, char* data, std::size_t size) const = 0;
};

class MemoryContents : public Contents {
  public:
    explicit MemoryContents(std::string_view text) : text_(text) {}
    off_t Size() const override { return static_cast<off_t>(text_.size()); }
    ssize_t Read(off_t offset, char* data, std::size_t size) const override {
        const std::size_t from = std::min(static_cast<std::size_t>(offset), text_.size());
        const std::size_t count = std::min(size, text_.size() - from);
        std::memcpy(data, text_.data() + from, count);
        return static_cast<ssize_t>(count);
    }

  private:
    std::string_view text_;
};

class FileContents : public Contents {
  public:
    FileContents(int fd, off_t size) : fd_(fd), size_(size) {}
    off_t Size() const override { return size_; }
    ssize_t Read(off_t offset, char* data, std::size_t size) const override {
        return ReadAt(fd_, data, size, offset);
    }

  private:
    int fd_;
    off_t size_;
};

constexpr std::size_t kBlock = 1 << 16;

// Writes bytes [begin, end) of `from` to `to` at the same offsets.
bool WriteRange(const Contents& from, int to, off_t begin, off_t end) {
    const std::unique_ptr<char[]> block(new char[kBlock]);
    for (off_t at = begin; at < end;) {
        const auto want = static_cast<std::size_t>(std::min<off_t>(end - at, kBlock));
        if (from.Read(at, block.get(), want) != static_cast<ssize_t>(want)) {
            return false;
        }
        for (std::size_t done = 0; done < want;) {
            const ssize_t n = RetryOnSignal([&] {
                return ::pwrite(to, block.get() + done, want - done, at + static_cast<off_t>(done));
            });
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        at += static_cast<off_t>(want);
    }
    return true;
}

bool SameContents(const Contents& a, const Contents& b) {
    if (a.Size() != b.Size()) {
        return false;
    }
    const std::unique_ptr<char[]> blockA(new char[kBlock]);
    const std::unique_ptr<char[]> blockB(new char[kBlock]);
    for (off_t at = 0; at < a.Size();) {
        const auto want = static_cast<std::size_t>(std::min<off_t>(a.Size() - at, kBlock));
        if (a.Read(at, blockA.get(), want) != static_cast<ssize_t>(want) ||
            b.Read(at, blockB.get(), want) != static_cast<ssize_t>(want) ||
            std::memcmp(blockA.get(), blockB.get(), want) != 0) {
            return false;
        }
        at += static_cast<off_t>(want);
    }
    return true;
}

// A copy of a file's old contents in the user's temporary folder ($TMPDIR, else /tmp), removed
// unless kept.
class Backup {
  public:
    Backup() = default;
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;
    ~Backup() {
        if (!keep_ && !name_.empty()) {
            ::unlinkat(folder_.Get(), name_.c_str(), 0);
        }
    }

    bool Make(int from, off_t size, const std::string& name) {
        const char* tmp = std::getenv("TMPDIR");
        folder_ = UniqueFd(::open(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp",
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder_.Valid()) {
            return false;
        }
        file_ = CreateUnique(folder_.Get(), TemporaryStem(name), name_);
        size_ = size;
        return file_.Valid() && WriteRange(FileContents(from, size), file_.Get(), 0, size) &&
               ::fsync(file_.Get()) == 0;
    }

    // Writes the old contents back over `to`.
    bool Restore(int to) const {
        return WriteRange(FileContents(file_.Get(), size_), to, 0, size_) &&
               ::ftruncate(to, size_) == 0 && ::fsync(to) == 0;
    }

    void Keep() { keep_ = true; }

  private:
    UniqueFd folder_;
    UniqueFd file_;
    std::string name_;
    off_t size_ = 0;
    bool keep_ = false;
};

// Writes `contents` over the present file `name` of `directory` in place. The part beyond the old
// end goes first, so that a full disk stops the write before any old byte has changed. With
// `keepOld`, the old contents are first copied to the user's temporary folder, the new ones are
// read back once written, and after any failure the old ones are written back from that copy;
// the copy is removed only when the file is whole again, new or old. `finish` then sets what
// else the file takes (times, permissions).
template <typename Finish>
bool WriteInPlace(int directory, const std::string& name, const Contents& contents, bool keepOld,
                  Finish finish) {
    const UniqueFd file(RetryOnSignal([&] {
        return ::openat(directory, name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    }));
    struct stat status {};
    if (!file.Valid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const off_t oldSize = status.st_size;
    const off_t newSize = contents.Size();
    Backup backup;
    if (keepOld && oldSize > 0 && !backup.Make(file.Get(), oldSize, name)) {
        return false;
    }
    if (newSize > oldSize && !WriteRange(contents, file.Get(), oldSize, newSize)) {
        if (::ftruncate(file.Get(), oldSize) != 0) {
            backup.Keep();
        }
        return false;
    }
    const bool whole = WriteRange(contents, file.Get(), 0, std::min(oldSize, newSize)) &&
                       ::ftruncate(file.Get(), newSize) == 0 && ::fsync(file.Get()) == 0 &&
                       (!keepOld || SameContents(FileContents(file.Get(), newSize), contents));
    if (!whole) {
        if (keepOld && oldSize > 0 && !backup.Restore(file.Get())) {
            backup.Keep();
        }
        return false;
    }
    // The time and permissions follow where the system lets this user set them: a file of another
    // owner takes new contents but keeps its own, as with CopyFileA.
    finish(file.Get());
    return true;
}

// A stamp of a file: which it is and whether it changed.
bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

ssize_t KernelCopy(int from, int to, std::size_t length) {
    return ::copy_file_range(from, nullptr, to, nullptr, length, 0);
}

bool CopyFileData(int from, int to, off_t size, KernelCopyCall kernelCopy) {
    // The kernel copies without a round trip through user space where it can.
    off_t left = size;
    while (left > 0) {
        const ssize_t copied =
            RetryOnSignal([&] { return kernelCopy(from, to, static_cast<std::size_t>(left)); });
        if (copied < 0 && !KernelCopyUnsupported(errno)) {
            return false;
        }
        if (copied <= 0) {
            break;
        }
        left -= copied;
    }
    if (left == 0) {
        return true;
    }
    // Plain reads and writes from wherever the kernel stopped.
    const off_t done = size - left;
    if (::lseek(from, done, SEEK_SET) != done || ::lseek(to, done, SEEK_SET) != done) {
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = RetryOnSignal([&] { return ::read(from, buffer, sizeof buffer); });
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!WriteAll(to, buffer, static_cast<std::size_t>(got))) {
            return false;
        }
    }
}

struct PosixFiles::Claim {
    UniqueFd fd;
    std::string path;
    struct stat stamp {};
};

PosixFiles::PosixFiles(DriveMap drives) : drives_(std::move(drives)), resolver_(drives_) {
    umask_ = ::umask(0);
    ::umask(umask_);
}
PosixFiles::~PosixFiles() = default;

std::optional<std::string> PosixFiles::NativePath(const std::string& windowsPath) const {
    return resolver_.NativePath(windowsPath);
}

bool PosixFiles::Status(const std::string& windowsPath, struct stat& status) const {
    const std::optional<Place> place = resolver_.Locate(windowsPath);
    return place && ::fstatat(place->directory, place->name.c_str(), &status, 0) == 0;
}

FileHandle PosixFiles::OpenForReading(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    // A destination in a folder this run made is not there unless the run put it there.
    if (!place || place->directory < 0 || place->absent || place->madeNone) {
        return kInvalidFile;
    }
    struct stat status {};
    UniqueFd fd = OpenRegularFile(*place, status);
    return fd.Valid() ? fd.Release() : kInvalidFile;
}

bool PosixFiles::LastWriteTime(FileHandle file, FileTime& time) {
    struct stat status {};
    if (::fstat(static_cast<int>(file), &status) != 0) {
        return false;
    }
    time = ToFileTime(status.st_mtim);
    return true;
}

void PosixFiles::CloseFile(FileHandle file) {
    if (claims_.erase(file) == 0) {
        ::close(static_cast<int>(file));
    }
}

DirectoryResult PosixFiles::MakeDirectory(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
        return DirectoryResult::kFailed;
    }
    // The folder of every file of a package is asked for again with each file: what this run
    // has made or found is not asked of the disk again.
    if (resolver_.Known(*place)) {
        return DirectoryResult::kAlreadyExists;
    }
    if (::mkdirat(place->directory, place->name.c_str(), 0777) == 0) {
        resolver_.Created(*place, true);
        return DirectoryResult::kCreated;
    }
    if (errno != EEXIST) {
        return DirectoryResult::kFailed;
    }
    resolver_.Found(*place);  // made meanwhile by another run, perhaps
    return DirectoryResult::kAlreadyExists;
}

bool PosixFiles::CopyFileOver(const std::string& source, const std::string& destination) {
    return Copy(source, destination, true);
}

bool PosixFiles::Copy(const std::string& source, const std::string& destination,
                      bool trustMadeFolders) {
    written_.reset();
    const std::optional<Place> from = resolver_.Locate(source);
    if (!from) {
        return false;
    }
    struct stat status {};
    const UniqueFd input = OpenRegularFile(*from, status);
    // The source's place is good only until the next call of the resolver: it is open now.
    const std::optional<Place> to = resolver_.Locate(destination);
    if (!input.Valid() || !to) {
        return false;
    }
    // In a folder this run made, a name the run has not put there is free: the rename below
    // takes it only while it is, and whatever another program has put there meanwhile is dealt
    // with as any present file.
    const bool free = trustMadeFolders && to->madeNone && !renameKeepsNoTarget_;
    struct stat existing {};
    bool exists = false;
    if (!free && !MayReplace(*to, existing, exists)) {
        return false;
    }
    // Installing a package again copies every file again; where the file is already there as
    // the copy would make it, replacing it would only cost time (the rename flushes the data).
    if (exists && IsAlreadyCopy(input.Get(), status, *to, existing)) {
        return true;
    }
    WriteTarget target;
    if (exists && !ResolveTarget(*to, target)) {
        return false;
    }
    if (!exists) {
        target.directory = to->directory;
        target.name = to->name;
    }
    // Only the permission bits travel: a set-user-id bit from a downloaded package must not
    // become one on a file written by root.
    const mode_t mode = status.st_mode & 0777;
    const timespec times[2] = {status.st_atim, status.st_mtim};
    const auto finish = [&](int fd) {
        return ::futimens(fd, times) == 0 && ::fchmod(fd, mode) == 0;
    };
    // A file with several names is written in place, so that every name shows the new contents;
    // the old ones are kept until then.
    if (exists && existing.st_nlink > 1) {
        return WriteInPlace(target.directory, target.name,
                            FileContents(input.Get(), status.st_size), true, finish);
    }
    RemoveLeftovers(*to, target.directory, target.ownDirectory.Valid());
    // The copy is made with its own permissions where nothing takes bits away from them (the
    // umask, a default ACL of the folder; whether the folder does is seen on its first copy) and
    // they let its owner read and write it, as a temporary file must be (a run's clean-up reads
    // what killed runs left).
    const bool ownMode = !target.ownDirectory.Valid() && (mode & ~umask_) == mode &&
                         (mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
    TemporaryBeside output(target.directory, target.name, ownMode ? mode : 0600);
    if (!output.Valid()) {
        // A folder that takes no new files: the present file, which the user may write, is
        // written in place, as Windows writes it.
        return exists && (output.Error() == EACCES || output.Error() == EPERM) &&
               WriteInPlace(target.directory, target.name,
                            FileContents(input.Get(), status.st_size), false, finish);
    }
    const auto permissions = [&](int fd) {
        if (ownMode && modeKept_ == std::make_pair(to->folder, mode)) {
            return true;
        }
        struct stat made {};
        if (ownMode && ::fstat(fd, &made) == 0 && (made.st_mode & 07777) == mode) {
            modeKept_ = {to->folder, mode};
            return true;
        }
        return ::fchmod(fd, mode) == 0;
    };
    if (!CopyFileData(input.Get(), output.Fd(), status.st_size, KernelCopy) ||
        ::futimens(output.Fd(), times) != 0 || !permissions(output.Fd())) {
        return false;
    }
    // No fsync per file: it made installing a package many times slower than a plain copy.
    // ext4 writes a file's data before a rename over another file takes effect; elsewhere a crash
    // at this moment may leave an empty model file that installing the package again repairs.
    // The catalogue, which nothing could repair, is written with an fsync.
    if (!output.Commit(!free)) {
        if (free && (errno == EEXIST || errno == EINVAL)) {
            // Another program has put the name there meanwhile, or the file system cannot rename
            // only onto a free name (then it is not asked again): as any present file.
            renameKeepsNoTarget_ = renameKeepsNoTarget_ || errno == EINVAL;
            return Copy(source, destination, false);
        }
        return false;
    }
    if (!exists) {
        resolver_.Created(*to, false);
    }
    written_.emplace(to->node, mode);
    return true;
}

bool PosixFiles::SetNormalAttributes(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    struct stat status {};
    // The file just copied has the permissions the copy gave it.
    if (place && written_ && written_->first == place->node) {
        status.st_mode = written_->second;
    } else if (!place || ::fstatat(place->directory, place->name.c_str(), &status, 0) != 0) {
        written_.reset();
        return false;
    }
    written_.reset();
    // Most files are writable already; leaving them alone spares the inode a write.
    if (IsWritableByOwner(status)) {
        return true;
    }
    return ::fchmodat(place->directory, place->name.c_str(), (status.st_mode & 07777) | S_IWUSR,
                      0) == 0;
}

bool PosixFiles::ReadContents(const std::string& path, std::string& contents) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
        return false;
    }
    struct stat status {};
    const UniqueFd fd = OpenRegularFile(*place, status);
    if (!fd.Valid()) {
        return false;
    }
    // Read straight into one allocation of the file's size: no chain of growing copies, and no
    // buffer in between whose pages would have to be touched as well.
    contents.assign(static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled < contents.size()) {
            const ssize_t got = RetryOnSignal([&] {
                return ::read(fd.Get(), contents.data() + filled, contents.size() - filled);
            });
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                contents.resize(filled);
                return true;
            }
            filled += static_cast<std::size_t>(got);
            continue;
        }
        // The file has grown since it was opened (or its size says nothing, as in /proc).
        char buffer[4096];
        const ssize_t got = RetryOnSignal([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents.append(buffer, static_cast<std::size_t>(got));
        filled = contents.size();
    }
}

bool PosixFiles::ReplaceContents(const std::string& path, std::string_view contents) {
    written_.reset();
    const auto claimed = std::find_if(claims_.begin(), claims_.end(),
                                      [&](const auto& entry) { return entry.second.path == path; });
    const Claim* claim = claimed == claims_.end() ? nullptr : &claimed->second;
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
        return false;
    }
    struct stat existing {};
    bool exists = false;
    if (!MayReplace(*place, existing, exists) || (claim != nullptr && !exists)) {
        return false;
    }
    // Checked just before the file is written: another program may have changed it since it was
    // claimed and read, and that is not to be overwritten.
    const auto unchanged = [&] {
        struct stat now {};
        return claim == nullptr ||
               (::fstatat(place->directory, place->name.c_str(), &now, 0) == 0 &&
                SameStamp(now, claim->stamp));
    };
    WriteTarget target;
    if (exists && !ResolveTarget(*place, target)) {
        return false;
    }
    if (!exists) {
        target.directory = place->directory;
        target.name = place->name;
    }
    const MemoryContents text(contents);
    // A file that holds these very bytes already is left as it is: rewriting it would change
    // nothing but its time, and cost a flush to disk.
    if (exists && existing.st_size == text.Size()) {
        struct stat status {};
        const UniqueFd present = OpenRegularFile(*place, status);
        if (present.Valid() && SameContents(FileContents(present.Get(), status.st_size), text)) {
            return true;
        }
    }
    const auto inPlace = [&] {
        return unchanged() &&
               WriteInPlace(target.directory, target.name, text, true, [](int) { return true; });
    };
    if (exists && existing.st_nlink > 1) {
        return inPlace();
    }
    RemoveLeftovers(*place, target.directory, target.ownDirectory.Valid());
    TemporaryBeside output(target.directory, target.name);
    if (!output.Valid()) {
        // A folder that takes no new files: the catalogue, which the user may write, is written
        // in place, with a copy of the old contents kept until the new ones are whole.
        return exists && (output.Error() == EACCES || output.Error() == EPERM) && inPlace();
    }
    if (!WriteAll(output.Fd(), contents.data(), contents.size())) {
        return false;
    }
    if (exists) {
        // Keep the replaced file's owner and permissions; a failed chown (not root) is harmless.
        if (::fchown(output.Fd(), existing.st_uid, existing.st_gid) != 0) {
            errno = 0;
        }
        if (::fchmod(output.Fd(), existing.st_mode & 07777) != 0) {
            return false;
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(output.Fd(), 0666 & ~mask) != 0) {
            return false;
        }
    }
    if (::fsync(output.Fd()) != 0 || !unchanged() || !output.Commit()) {
        return false;
    }
    if (!exists) {
        resolver_.Created(*place, false);
    }
    return true;
}

Location PosixFiles::LocateIn(const std::string& path, const std::string& folder) {
    if (folder != folder_ || !folderFound_) {
        folder_ = folder;
        folderFound_ = resolver_.RealPath(folder, false, folderReal_);
    }
    if (!folderFound_ || !resolver_.RealPath(path, true, real_)) {
        return Location::kUnknown;
    }
    const std::string& base = folderReal_;
    const bool inside = real_ == base || (real_.compare(0, base.size(), base) == 0 &&
                                          (base == "/" || real_[base.size()] == '/'));
    return inside ? Location::kInside : Location::kOutside;
}

ClaimResult PosixFiles::ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                                       FileHandle& claim) {
    claim = kInvalidFile;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const std::optional<Place> place = resolver_.Locate(path);
        if (!place) {
            return ClaimResult::kFailed;
        }
        Claim taken;
        taken.path = path;
        short type = F_WRLCK;
        taken.fd = UniqueFd(RetryOnSignal([&] {
            return ::openat(place->directory, place->name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        }));
        if (!taken.fd.Valid() && (errno == EACCES || errno == EROFS)) {
            // A file that cannot be written is claimed as well, as Wine claims it; it will not
            // be written.
            type = F_RDLCK;
            taken.fd = UniqueFd(RetryOnSignal([&] {
                return ::openat(place->directory, place->name.c_str(),
                                O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            }));
        }
        if (!taken.fd.Valid() || ::fstat(taken.fd.Get(), &taken.stamp) != 0 ||
            !S_ISREG(taken.stamp.st_mode)) {
            return ClaimResult::kFailed;
        }
        while (!LockRange(taken.fd.Get(), type, kClaimedByte, 1)) {
            if (errno == ENOLCK || errno == EOPNOTSUPP) {
                break;  // a file system without locks, where Wine goes without them too
            }
            if (errno != EAGAIN && errno != EACCES) {
                return ClaimResult::kFailed;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return ClaimResult::kBusy;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        // The run that held the claim may have replaced the file meanwhile. The claim must be on
        // the file that the path names now, for the next run to wait for this one.
        struct stat named {};
        const std::optional<Place> again = resolver_.Locate(path);
        if (!again || ::fstatat(again->directory, again->name.c_str(), &named, 0) != 0) {
            return ClaimResult::kFailed;
        }
        if (named.st_dev == taken.stamp.st_dev && named.st_ino == taken.stamp.st_ino) {
            ::fstat(taken.fd.Get(), &taken.stamp);  // as it is now that no run may change it
            claim = taken.fd.Get();
            claims_.emplace(claim, std::move(taken));
            return ClaimResult::kClaimed;
        }
    }
}

void PosixFiles::RemoveLeftovers(const Place& place, int directory, bool viaLink) {
    // The folder of the place is tidied the first time a file is written into it, and one that
    // this run made needs none; a link's file may lie in any folder.
    if (viaLink || resolver_.FirstWriteInto(place)) {
        RemoveLeftovers(directory);
    }
}

void PosixFiles::RemoveLeftovers(int directory) {
    struct stat folder {};
    if (::fstat(directory, &folder) != 0 || !tidied_.emplace(folder.st_dev, folder.st_ino).second) {
        return;
    }
    const int listed = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(listed < 0 ? nullptr : ::fdopendir(listed),
                                                      ::closedir);
    if (!entries) {
        if (listed >= 0) {
            ::close(listed);
        }
        return;
    }
    while (const dirent* entry = ::readdir(entries.get())) {
        if (!IsTemporaryName(entry->d_name)) {
            continue;
        }
        // A run that is still writing holds a lock on its temporary file; a killed run holds
        // none any more.
        const UniqueFd leftover(
            ::openat(directory, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat status {};
        if (leftover.Valid() && ::fstat(leftover.Get(), &status) == 0 && S_ISREG(status.st_mode) &&
            LockRange(leftover.Get(), F_RDLCK, 0, 0, true)) {
            ::unlinkat(directory, entry->d_name, 0);
        }
    }
}

}  // namespace kolvane::platform
