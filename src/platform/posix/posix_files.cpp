#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>

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

using Place = PathResolver::Place;

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO in a package from stalling the
// installer until a writer appears; it has no effect on a regular file.
UniqueFd OpenRegularFile(const Place& place, struct stat& status) {
    UniqueFd fd(RetryOnSignal(
        [&] { return ::openat(place.directory, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
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
// does; `name` is set to its name, or cleared when none could be made.
UniqueFd CreateUnique(int directory, const std::string& stem, std::string& name) {
    static constexpr char kSymbols[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem;
        for (int i = 0; i < 6; ++i) {
            name += kSymbols[random() % (sizeof kSymbols - 1)];
        }
        UniqueFd fd(
            ::openat(directory, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
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

// A new file beside `target` under a temporary name; removed again unless Commit renames it
// over the target.
class TemporaryBeside {
  public:
    explicit TemporaryBeside(const Place& target)
        : directory_(target.directory),
          target_(target.name),
          // A long name is cut, so that the temporary name still fits the name limit (255 bytes).
          fd_(CreateUnique(directory_, "." + target.name.substr(0, 200) + ".kolvane-", name_)) {}
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;
    ~TemporaryBeside() {
        fd_.Close();
        if (!name_.empty()) {
            ::unlinkat(directory_, name_.c_str(), 0);
        }
    }

    bool Valid() const { return fd_.Valid(); }
    int Fd() const { return fd_.Get(); }

    // Closes the file and renames it over the target.
    bool Commit() {
        if (!fd_.Close()) {
            return false;
        }
        if (::renameat(directory_, name_.c_str(), directory_, target_.c_str()) != 0) {
            return false;
        }
        name_.clear();
        return true;
    }

  private:
    int directory_;
    std::string target_;
    std::string name_;
    UniqueFd fd_;
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
    const UniqueFd present(
        RetryOnSignal([&] {
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

// The state of the file a write is about to replace. False when it must not be replaced.
bool MayReplace(const Place& place, struct stat& existing, bool& exists) {
    if (::fstatat(place.directory, place.name.c_str(), &existing, 0) != 0) {
        exists = false;
        return errno == ENOENT;
    }
    exists = true;
    return S_ISREG(existing.st_mode) && IsWritableByOwner(existing);
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

std::optional<std::string> PosixFiles::NativePath(const std::string& windowsPath) const {
    return resolver_.NativePath(windowsPath);
}

bool PosixFiles::Status(const std::string& windowsPath, struct stat& status) const {
    const std::optional<Place> place = resolver_.Locate(windowsPath);
    return place && ::fstatat(place->directory, place->name.c_str(), &status, 0) == 0;
}

FileHandle PosixFiles::OpenForReading(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
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
    ::close(static_cast<int>(file));
}

DirectoryResult PosixFiles::MakeDirectory(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
        return DirectoryResult::kFailed;
    }
    if (::mkdirat(place->directory, place->name.c_str(), 0777) == 0) {
        resolver_.Created(*place, true);
        return DirectoryResult::kCreated;
    }
    return errno == EEXIST ? DirectoryResult::kAlreadyExists : DirectoryResult::kFailed;
}

bool PosixFiles::CopyFileOver(const std::string& source, const std::string& destination) {
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
    struct stat existing {};
    bool exists = false;
    if (!MayReplace(*to, existing, exists)) {
        return false;
    }
    // Installing a package again copies every file again; where the file is already there as
    // the copy would make it, replacing it would only cost time (the rename flushes the data).
    if (exists && IsAlreadyCopy(input.Get(), status, *to, existing)) {
        return true;
    }
    TemporaryBeside output(*to);
    if (!output.Valid() || !CopyFileData(input.Get(), output.Fd(), status.st_size, KernelCopy)) {
        return false;
    }
    // Only the permission bits travel: a set-user-id bit from a downloaded package must not
    // become one on a file written by root.
    const timespec times[2] = {status.st_atim, status.st_mtim};
    if (::futimens(output.Fd(), times) != 0 || ::fchmod(output.Fd(), status.st_mode & 0777) != 0) {
        return false;
    }
    // No fsync per file: it made installing a package many times slower than a plain copy.
    // ext4 writes a file's data before a rename over another file takes effect; elsewhere a crash
    // at this moment may leave an empty model file that installing the package again repairs.
    // The catalogue, which nothing could repair, is written with an fsync.
    if (!output.Commit()) {
        return false;
    }
    resolver_.Created(*to, false);
    return true;
}

bool PosixFiles::SetNormalAttributes(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    struct stat status {};
    if (!place || ::fstatat(place->directory, place->name.c_str(), &status, 0) != 0) {
        return false;
    }
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
    contents.clear();
    if (status.st_size > 0) {
        // One allocation of the right size rather than a chain of growing copies.
        contents.reserve(static_cast<std::size_t>(status.st_size));
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = RetryOnSignal([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents.append(buffer, static_cast<std::size_t>(got));
    }
}

bool PosixFiles::ReplaceContents(const std::string& path, std::string_view contents) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
        return false;
    }
    struct stat existing {};
    bool exists = false;
    if (!MayReplace(*place, existing, exists)) {
        return false;
    }
    TemporaryBeside output(*place);
    if (!output.Valid() || !WriteAll(output.Fd(), contents.data(), contents.size())) {
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
    if (::fsync(output.Fd()) != 0 || !output.Commit()) {
        return false;
    }
    resolver_.Created(*place, false);
    return true;
}

}  // namespace kolvane::platform
