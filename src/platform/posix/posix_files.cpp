#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/posix/copy_data.h"
#include "platform/posix/retry_on_signal.h"
#include "platform/posix/unique_fd.h"

namespace kolvane::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;
constexpr std::int64_t kStepsPerSecond = 10'000'000;

// The locked byte lies at 2^62: beyond the end of any file, where Wine puts Kolvane.exe's lock.
constexpr off_t kLockedByte = off_t{1} << 62;
// The folder of a removed file that no folder waits for (DeferredClose).
constexpr std::size_t kNoFolder = static_cast<std::size_t>(-1);

FileTime ToFileTime(const timespec& time) {
    const std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + kEpochDifference;
    if (seconds < 0) {
        return 0;
    }
    return static_cast<FileTime>(seconds) * kStepsPerSecond +
           static_cast<FileTime>(time.tv_nsec / 100);
}

timespec ToTimespec(FileTime time, std::uint32_t nanoseconds) {
    timespec converted{};
    converted.tv_sec =
        static_cast<time_t>(static_cast<std::int64_t>(time / kStepsPerSecond) - kEpochDifference);
    converted.tv_nsec = static_cast<long>((time % kStepsPerSecond) * 100 + nanoseconds % 100);
    return converted;
}

FileInfo InfoOf(const struct stat& status) {
    FileInfo info;
    info.size = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
    info.written = ToFileTime(status.st_mtim);
    info.writtenNanoseconds = static_cast<std::uint32_t>(status.st_mtim.tv_nsec % 100);
    info.permissions = status.st_mode & 07777;
    info.attributes = (status.st_mode & S_IWUSR) != 0 ? 0 : kAttributeReadOnly;
    info.links = static_cast<std::uint32_t>(status.st_nlink);
    info.owner = status.st_uid;
    info.group = status.st_gid;
    info.regular = S_ISREG(status.st_mode);
    return info;
}

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
bool ReadFully(int fd, char* data, std::size_t size, off_t offset, std::size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = RetryOnSignal(
            [&] { return ::pread(fd, data + got, size - got, offset + static_cast<off_t>(got)); });
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
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

using Place = PathResolver::Place;

// Whether a process other than this one holds the file open, as far as /proc shows it.
bool OpenElsewhere(const struct stat& file) {
    const std::unique_ptr<DIR, int (*)(DIR*)> processes(::opendir("/proc"), ::closedir);
    if (!processes) {
        return false;
    }
    const std::string own = std::to_string(::getpid());
    while (const dirent* process = ::readdir(processes.get())) {
        const std::string_view pid(process->d_name);
        if (pid.empty() || pid == own ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const std::string folder = "/proc/" + std::string(pid) + "/fd";
        const std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(folder.c_str()), ::closedir);
        if (!fds) {
            continue;
        }
        while (const dirent* fd = ::readdir(fds.get())) {
            struct stat open {};
            if (fd->d_name[0] != '.' && ::stat((folder + "/" + fd->d_name).c_str(), &open) == 0 &&
                open.st_dev == file.st_dev && open.st_ino == file.st_ino) {
                return true;
            }
        }
    }
    return false;
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

// An open file.
class PosixFile : public NativeFile {
  public:
    PosixFile(PosixFileSystem& system, UniqueFd fd, const struct stat& status, bool writable)
        : system_(system),
          fd_(std::move(fd)),
          status_(status),
          info_(InfoOf(status)),
          writable_(writable) {}
    // A file this run has just made, with the permissions `mode` asked for in the folder `folder`
    // (a resolver node, or none for a folder reached through a link).
    PosixFile(PosixFileSystem& system, UniqueFd fd, mode_t mode, std::optional<std::size_t> folder)
        : system_(system),
          fd_(std::move(fd)),
          writable_(true),
          made_(true),
          mode_(mode),
          folder_(folder) {
        info_.permissions = mode;
    }

    int Fd() const { return fd_.Get(); }
    const struct stat& Status() const { return status_; }
    // Closes now and tells whether the close succeeded: a write error may show only there.
    bool Close() { return fd_.Close(); }

    const FileInfo& Info() const override { return info_; }

    bool ReadAt(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) override {
        return ReadFully(fd_.Get(), data, size, static_cast<off_t>(offset), got);
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = RetryOnSignal([&] {
                return ::pwrite(fd_.Get(), data + done, size - done,
                                static_cast<off_t>(offset + done));
            });
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool CopyFrom(NativeFile& source, ReadWatch* watch) override {
        const auto* file = dynamic_cast<PosixFile*>(&source);
        if (file == nullptr) {
            return false;
        }
        const std::uint64_t size = source.Info().size;
        if (watch == nullptr) {
            return CopyFileData(file->Fd(), fd_.Get(), static_cast<off_t>(size), KernelCopy);
        }
        // Through a buffer small enough to stay in the processor's second-level cache, where the
        // watch reads each block between its read and its write: the bytes cross memory no more
        // often than with the kernel's copy, and a model file of a few hundred KiB takes one
        // read and one write. Its memory is never cleared, so a small file touches only the pages
        // it fills.
        constexpr std::size_t kSize = std::size_t{256} << 10;
        static const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kSize);
        return CopyBlocks(source, *this, {buffer.get(), kSize}, watch);
    }

    bool Truncate(std::uint64_t size) override {
        return ::ftruncate(fd_.Get(), static_cast<off_t>(size)) == 0;
    }

    // No flush per copied file: one a file makes installing a package many times slower than a
    // plain copy. ext4 writes a file's data before a rename over another file takes effect;
    // elsewhere a crash at that moment may leave an empty model file that installing the package
    // again repairs. The catalogue, which nothing could repair, is flushed.
    bool Flush() override { return ::fsync(fd_.Get()) == 0; }

    bool TakeTimeAndAttributes(const FileInfo& source) override {
        // Only the permission bits travel: a set-user-id bit from a downloaded package must not
        // become one on a file written by root.
        const mode_t mode = source.permissions & 0777;
        const timespec times[2] = {{0, UTIME_OMIT},
                                   ToTimespec(source.written, source.writtenNanoseconds)};
        if (::futimens(fd_.Get(), times) != 0 || !Permit(mode)) {
            return false;
        }
        info_.written = source.written;
        info_.writtenNanoseconds = source.writtenNanoseconds;
        info_.size = source.size;
        info_.permissions = mode;
        info_.attributes = (mode & S_IWUSR) != 0 ? 0 : kAttributeReadOnly;
        return true;
    }

    bool KeepAttributesOf(const FileInfo* old) override {
        if (old == nullptr) {
            return ::fchmod(fd_.Get(), 0666 & ~system_.umask_) == 0;
        }
        // Keep the replaced file's owner and permissions; a failed chown (not root) is harmless.
        if (::fchown(fd_.Get(), old->owner, old->group) != 0) {
            errno = 0;
        }
        return ::fchmod(fd_.Get(), old->permissions & 07777) == 0;
    }

    bool Refresh() override {
        if (::fstat(fd_.Get(), &status_) != 0) {
            return false;
        }
        info_ = InfoOf(status_);
        return true;
    }

    // A file open only for reading takes a shared lock, which still shuts out exclusive ones.
    LockResult Lock(bool exclusive) override {
        struct flock lock {};
        lock.l_type = static_cast<short>(exclusive && writable_ ? F_WRLCK : F_RDLCK);
        lock.l_whence = SEEK_SET;
        lock.l_start = kLockedByte;
        lock.l_len = 1;
        if (RetryOnSignal([&] { return ::fcntl(fd_.Get(), F_OFD_SETLK, &lock); }) == 0) {
            return LockResult::kTaken;
        }
        if (errno == EAGAIN || errno == EACCES) {
            return LockResult::kHeld;
        }
        if (errno == ENOLCK || errno == EOPNOTSUPP) {
            return LockResult::kUnsupported;
        }
        return LockResult::kFailed;
    }

  private:
    // Gives a file this run made the permissions `mode`, unless it was made with them: where a
    // file made in the folder with these permissions was seen to keep them (no umask or default
    // ACL takes bits away), no call is needed.
    bool Permit(mode_t mode) {
        if (made_ && mode_ == mode && folder_) {
            if (system_.modeKept_ == std::make_pair(*folder_, mode)) {
                return true;
            }
            struct stat made {};
            if (::fstat(fd_.Get(), &made) == 0 && (made.st_mode & 07777) == mode) {
                system_.modeKept_ = {*folder_, mode};
                return true;
            }
        }
        return ::fchmod(fd_.Get(), mode) == 0;
    }

    PosixFileSystem& system_;
    UniqueFd fd_;
    struct stat status_ {};
    FileInfo info_;
    bool writable_ = false;
    bool made_ = false;
    mode_t mode_ = 0;
    std::optional<std::size_t> folder_;
};

namespace {

// Opens a regular file. O_NONBLOCK keeps a FIFO in a package from stalling the installer until a
// writer appears; it has no effect on a regular file.
std::unique_ptr<PosixFile> OpenRegular(PosixFileSystem& system, int directory,
                                       const std::string& name, int flags, OpenError& error) {
    UniqueFd fd(RetryOnSignal(
        [&] { return ::openat(directory, name.c_str(), flags | O_CLOEXEC | O_NONBLOCK); }));
    struct stat status {};
    if (!fd.Valid()) {
        error = errno == ENOENT ? OpenError::kMissing : OpenError::kFailed;
        return nullptr;
    }
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        error = OpenError::kFailed;
        return nullptr;
    }
    error = OpenError::kNone;
    return std::make_unique<PosixFile>(system, std::move(fd), status,
                                       (flags & O_ACCMODE) == O_RDWR);
}

// Whether the calling user may write the file at `place`, as Windows would let them: by the
// file's own permissions, not the folder's. Root, whom the system lets write anything, may write
// what its owner may.
bool MayWrite(int directory, const std::string& name, const FileInfo& info) {
    if (::geteuid() == 0) {
        return (info.attributes & kAttributeReadOnly) == 0;
    }
    return ::faccessat(directory, name.c_str(), W_OK, AT_EACCESS) == 0;
}

}  // namespace

// Where a write of a path goes: the folder that holds it (as the resolver found it), or, where a
// symbolic link stands, the folder of the file it leads to.
class PosixSpot : public Spot {
  public:
    PosixSpot(PosixFileSystem& system, const Place& place, std::string windowsFolder)
        : system_(system),
          place_(place),
          name_(place.name),
          windowsFolder_(std::move(windowsFolder)) {}

    // Takes in the present file: where a link stands, the file it leads to. False when the
    // link leads nowhere.
    bool Resolve(const std::optional<FileInfo>& present) {
        if (!present) {
            return true;
        }
        present_ = present;
        const int directory = Folder();
        struct stat own {};
        if (::fstatat(directory, name_.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(own.st_mode)) {
            const UniqueFd file(::openat(directory, name_.c_str(), O_PATH | O_CLOEXEC));
            const std::optional<std::string> real = PathOfDescriptor(file.Get());
            if (!real) {
                return false;
            }
            const std::size_t slash = real->rfind('/');
            ownFolder_ = UniqueFd(::open(slash == 0 ? "/" : real->substr(0, slash).c_str(),
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            name_ = real->substr(slash + 1);
            if (!ownFolder_.Valid()) {
                return false;
            }
        }
        mayWrite_ = MayWrite(Folder(), name_, *present_);
        return true;
    }

    const std::optional<FileInfo>& Present() const override { return present_; }
    bool MayWritePresent() const override { return mayWrite_; }
    bool KnownFree() const override {
        return place_.madeNone && !present_ && !system_.renameKeepsNoTarget_;
    }
    bool FolderMadeThisRun() const override {
        return !ownFolder_.Valid() && system_.resolver_.MadeHere(place_.folder);
    }
    std::optional<std::string> RealFolder() override {
        if (ownFolder_.Valid()) {
            return PathOfDescriptor(ownFolder_.Get());
        }
        std::string real;
        return system_.resolver_.RealPath(windowsFolder_, false, real) ? std::optional(real)
                                                                       : std::nullopt;
    }
    const std::string& Name() const override { return name_; }

    MakeResult MakeBeside(const std::string& name, const FileInfo* like, bool,
                          std::unique_ptr<NativeFile>& made) override {
        // A copy is made with its own permissions where nothing takes bits away from them (the
        // umask; a default ACL of the folder is seen on its first copy) and they let its owner
        // read and write it, as a temporary file must be (a run's clean-up opens what killed
        // runs left).
        const mode_t wanted = like != nullptr ? like->permissions & 0777 : 0600;
        const bool ownMode = !ownFolder_.Valid() && (wanted & ~system_.umask_) == wanted &&
                             (wanted & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
        const mode_t mode = ownMode ? wanted : 0600;
        UniqueFd fd(::openat(Folder(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!fd.Valid()) {
            switch (errno) {
                case EEXIST:
                    return MakeResult::kExists;
                case EACCES:
                case EPERM:
                    return MakeResult::kRefused;
                case ENAMETOOLONG:
                    return MakeResult::kNoRoom;
                default:
                    return MakeResult::kFailed;
            }
        }
        made = std::make_unique<PosixFile>(
            system_, std::move(fd), mode,
            ownMode ? std::optional<std::size_t>(place_.folder) : std::nullopt);
        // The lock tells other runs' clean-up that the file is being written.
        made->Lock(true);
        return MakeResult::kMade;
    }

    PutResult PutInPlace(std::unique_ptr<NativeFile>& made, const std::string& madeName,
                         bool replace) override {
        const int directory = Folder();
        if (::renameat2(directory, madeName.c_str(), directory, name_.c_str(),
                        replace ? 0 : RENAME_NOREPLACE) != 0) {
            if (!replace && errno == EINVAL) {
                system_.renameKeepsNoTarget_ = true;
                return PutResult::kCannotKeep;
            }
            if (errno == EEXIST) {
                system_.resolver_.Found(place_);  // another program has put a file there
                return PutResult::kExists;
            }
            return PutResult::kFailed;
        }
        if (!present_ && !ownFolder_.Valid()) {
            system_.resolver_.Created(place_, false);
        }
        const bool closed = static_cast<PosixFile*>(made.get())->Close();
        made.reset();
        return closed ? PutResult::kDone : PutResult::kFailed;
    }

    bool LinkPresentTo(const std::string& path) override {
        if (!present_) {
            return false;
        }
        const std::unique_ptr<Spot> there = system_.SpotOf(path, nullptr);
        auto* target = static_cast<PosixSpot*>(there.get());
        if (target == nullptr || target->present_ ||
            ::linkat(Folder(), name_.c_str(), target->Folder(), target->name_.c_str(), 0) != 0) {
            return false;
        }
        if (!target->ownFolder_.Valid()) {
            system_.resolver_.Created(target->place_, false);
        }
        return true;
    }

    void RemoveBeside(const std::string& name, std::unique_ptr<NativeFile> made) override {
        made.reset();
        UniqueFd held(::openat(Folder(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (::unlinkat(Folder(), name.c_str(), 0) == 0) {
            // A link's file lies in a folder the resolver may not know: no folder waits for it.
            system_.removed_.Close(held.Release(), ownFolder_.Valid() ? kNoFolder : place_.folder);
        }
    }

    std::unique_ptr<NativeFile> OpenInPlace() override {
        OpenError error = OpenError::kNone;
        return OpenRegular(system_, Folder(), name_, O_RDWR | O_NOFOLLOW, error);
    }

    std::vector<std::string> NamesWith(std::string_view mark) override {
        std::vector<std::string> names;
        const int listed = ::openat(Folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const std::unique_ptr<DIR, int (*)(DIR*)> entries(
            listed < 0 ? nullptr : ::fdopendir(listed), ::closedir);
        if (!entries) {
            if (listed >= 0) {
                ::close(listed);
            }
            return names;
        }
        while (const dirent* entry = ::readdir(entries.get())) {
            if (std::string_view(entry->d_name).find(mark) != std::string_view::npos) {
                names.emplace_back(entry->d_name);
            }
        }
        return names;
    }

    std::unique_ptr<NativeFile> OpenToRemove(const std::string& name) override {
        OpenError error = OpenError::kNone;
        std::unique_ptr<PosixFile> file =
            OpenRegular(system_, Folder(), name, O_RDONLY | O_NOFOLLOW, error);
        // Kolvane.exe marks the file it writes by sharing it with nobody, which only Wine sees:
        // a file that another process holds open is left alone.
        if (file && OpenElsewhere(file->Status())) {
            return nullptr;
        }
        return file;
    }

    bool RemoveOpened(const std::string& name, std::unique_ptr<NativeFile> file) override {
        const bool removed = ::unlinkat(Folder(), name.c_str(), 0) == 0;
        file.reset();
        return removed;
    }

  private:
    int Folder() {
        return ownFolder_.Valid() ? ownFolder_.Get() : system_.resolver_.FolderFd(place_.folder);
    }

    PosixFileSystem& system_;
    Place place_;
    std::string name_;
    std::string windowsFolder_;
    UniqueFd ownFolder_;  // the folder of a link's file
    std::optional<FileInfo> present_;
    bool mayWrite_ = true;
};

PosixFileSystem::PosixFileSystem(DriveMap drives) : drives_(std::move(drives)), resolver_(drives_) {
    umask_ = ::umask(0);
    ::umask(umask_);
}
PosixFileSystem::~PosixFileSystem() = default;

std::optional<std::string> PosixFileSystem::NativePath(const std::string& windowsPath) {
    return resolver_.NativePath(windowsPath);
}

bool PosixFileSystem::Status(const std::string& windowsPath, struct stat& status) {
    const std::optional<Place> place = resolver_.Locate(windowsPath);
    return place && ::fstatat(place->directory, place->name.c_str(), &status, 0) == 0;
}

std::unique_ptr<NativeFile> PosixFileSystem::OpenForReading(const std::string& path, bool,
                                                            OpenError& error) {
    error = OpenError::kFailed;
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place || place->directory < 0) {
        return nullptr;
    }
    // A name in a folder this run made is not there unless the run put it there.
    if (place->absent || place->madeNone) {
        error = OpenError::kMissing;
        return nullptr;
    }
    return OpenRegular(*this, place->directory, place->name, O_RDONLY, error);
}

std::unique_ptr<NativeFile> PosixFileSystem::OpenForClaim(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place || place->directory < 0) {
        return nullptr;
    }
    OpenError error = OpenError::kNone;
    std::unique_ptr<PosixFile> file =
        OpenRegular(*this, place->directory, place->name, O_RDWR, error);
    if (!file && (errno == EACCES || errno == EROFS)) {
        // A file that cannot be written is claimed as well, as Wine claims it; it will not be
        // written.
        file = OpenRegular(*this, place->directory, place->name, O_RDONLY, error);
    }
    return file;
}

Sight PosixFileSystem::Look(const std::string& path, bool open, bool real) {
    Sight sight;
    const std::optional<Place> place = resolver_.Locate(path);
    if (place && place->directory >= 0) {
        if (place->absent || place->madeNone) {
            sight.missing = true;
        } else if (open) {
            OpenError error = OpenError::kNone;
            std::unique_ptr<PosixFile> file =
                OpenRegular(*this, place->directory, place->name, O_RDONLY, error);
            sight.missing = error == OpenError::kMissing;
            if (file) {
                sight.info = file->Info();
                sight.file = std::move(file);
            }
        } else {
            struct stat status {};
            if (::fstatat(place->directory, place->name.c_str(), &status, 0) == 0) {
                sight.info = InfoOf(status);
            } else {
                sight.missing = errno == ENOENT;
            }
        }
    } else if (place) {
        sight.missing = true;  // its folder is not there
    }
    if (real) {
        std::string where;
        if (resolver_.RealPath(path, true, where)) {
            sight.real = std::move(where);
        }
    }
    return sight;
}

std::optional<std::string> PosixFileSystem::RealPath(const std::string& path) {
    std::string real;
    return resolver_.RealPath(path, false, real) ? std::optional(real) : std::nullopt;
}

bool PosixFileSystem::Contains(const std::string& folder, const std::string& path) const {
    return path == folder || (path.compare(0, folder.size(), folder) == 0 &&
                              (folder == "/" || path[folder.size()] == '/'));
}

bool PosixFileSystem::Names(const std::string& path, const NativeFile& file, bool unchanged) {
    const auto& own = static_cast<const PosixFile&>(file).Status();
    const std::optional<Place> place = resolver_.Locate(path);
    struct stat named {};
    return place && ::fstatat(place->directory, place->name.c_str(), &named, 0) == 0 &&
           named.st_dev == own.st_dev && named.st_ino == own.st_ino &&
           (!unchanged || SameStamp(named, own));
}

std::unique_ptr<Spot> PosixFileSystem::SpotOf(const std::string& path, const Sight* present) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place || place->directory < 0) {
        return nullptr;
    }
    std::optional<FileInfo> there;
    if (present != nullptr && (present->missing || present->info)) {
        there = present->missing ? std::nullopt : present->info;
    } else if (!place->absent && !place->madeNone) {
        struct stat status {};
        if (::fstatat(place->directory, place->name.c_str(), &status, 0) == 0) {
            there = InfoOf(status);
        } else if (errno != ENOENT) {
            return nullptr;
        }
    }
    const std::size_t separator = path.find_last_of('\\');
    auto spot = std::make_unique<PosixSpot>(
        *this, *place, separator == std::string::npos ? path : path.substr(0, separator));
    if (!spot->Resolve(there)) {
        return nullptr;
    }
    return spot;
}

FileSystem::MadeFolder PosixFileSystem::MakeDirectory(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place) {
        return MadeFolder::kFailed;
    }
    // The folder of every file of a package is asked for again with each file: what this run
    // has made or found is not asked of the disk again.
    if (resolver_.Known(*place)) {
        return MadeFolder::kExists;
    }
    if (::mkdirat(place->directory, place->name.c_str(), 0777) == 0) {
        resolver_.Created(*place, true);
        return MadeFolder::kCreated;
    }
    if (errno != EEXIST) {
        return MadeFolder::kFailed;
    }
    resolver_.Found(*place);  // made meanwhile by another run, perhaps
    return MadeFolder::kExists;
}

bool PosixFileSystem::RemoveEmptyDirectory(const std::string& path) {
    const std::optional<Place> place = resolver_.Locate(path);
    if (!place || place->directory < 0) {
        return false;
    }
    // The system removes a folder only once it has freed what was in it.
    removed_.Wait(place->node);
    if (::unlinkat(place->directory, place->name.c_str(), AT_REMOVEDIR) != 0) {
        return false;
    }
    removed_.Close(resolver_.RemovedDirectory(*place), place->folder);
    return true;
}

bool PosixFileSystem::SetNormalAttributes(const std::string& path, const FileInfo* known) {
    // Most files are writable already; leaving them alone spares the inode a write.
    if (known != nullptr && (known->attributes & kAttributeReadOnly) == 0) {
        return true;
    }
    const std::optional<Place> place = resolver_.Locate(path);
    struct stat status {};
    if (!place || ::fstatat(place->directory, place->name.c_str(), &status, 0) != 0) {
        return false;
    }
    if ((status.st_mode & S_IWUSR) != 0) {
        return true;
    }
    return ::fchmodat(place->directory, place->name.c_str(), (status.st_mode & 07777) | S_IWUSR,
                      0) == 0;
}

void PosixFileSystem::Pause(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

}  // namespace kolvane::platform
