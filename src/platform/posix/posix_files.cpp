#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

// A file descriptor that is closed on every path.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Gives up ownership without closing.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and tells whether the close succeeded.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CopyData(int from, int to, off_t size) {
    // The kernel copies without a round trip through user space where it can.
    off_t left = size;
    while (left > 0) {
        const ssize_t copied =
            ::copy_file_range(from, nullptr, to, nullptr, static_cast<std::size_t>(left), 0);
        if (copied < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (copied == 0) {
            break;
        }
        left -= copied;
    }
    if (left == 0) {
        return true;
    }
    // Fall back to plain reads and writes from wherever the kernel stopped.
    const off_t done = size - left;
    if (::lseek(from, done, SEEK_SET) != done || ::lseek(to, done, SEEK_SET) != done) {
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
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

std::string DirectoryOf(const std::string& hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

std::string NameOf(const std::string& hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

// A new file beside `target` under a temporary name; removed again unless Commit renames it
// over the target.
class TemporaryBeside {
  public:
    explicit TemporaryBeside(const std::string& target)
        : target_(target),
          path_(DirectoryOf(target) + "/." + NameOf(target) + ".kolvane-XXXXXX"),
          fd_(::mkostemp(path_.data(), O_CLOEXEC)) {
        if (!fd_.Valid()) {
            path_.clear();
        }
    }
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;
    ~TemporaryBeside() {
        fd_.Close();
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }

    bool Valid() const { return fd_.Valid(); }
    int Fd() const { return fd_.Get(); }

    // Closes the file and renames it over the target.
    bool Commit() {
        if (!fd_.Close()) {
            return false;
        }
        if (::rename(path_.c_str(), target_.c_str()) != 0) {
            return false;
        }
        path_.clear();
        return true;
    }

  private:
    std::string target_;
    std::string path_;
    Descriptor fd_;
};

// The state of the file a write is about to replace. False when it must not be replaced.
bool MayReplace(const std::string& hostPath, struct stat& existing, bool& exists) {
    if (::stat(hostPath.c_str(), &existing) != 0) {
        exists = false;
        return errno == ENOENT;
    }
    exists = true;
    return S_ISREG(existing.st_mode) && IsWritableByOwner(existing);
}

}  // namespace

std::optional<std::string> PosixFiles::HostPath(const std::string& windowsPath) const {
    return drives_.ToHostPath(windowsPath);
}

FileHandle PosixFiles::OpenForReading(const std::string& path) {
    const std::optional<std::string> host = HostPath(path);
    if (!host) {
        return kInvalidFile;
    }
    Descriptor fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!fd.Valid() || ::fstat(fd.Get(), &status) != 0 || S_ISDIR(status.st_mode)) {
        return kInvalidFile;
    }
    return fd.Release();
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
    const std::optional<std::string> host = HostPath(path);
    if (!host) {
        return DirectoryResult::kFailed;
    }
    if (::mkdir(host->c_str(), 0777) == 0) {
        return DirectoryResult::kCreated;
    }
    return errno == EEXIST ? DirectoryResult::kAlreadyExists : DirectoryResult::kFailed;
}

bool PosixFiles::CopyFileOver(const std::string& source, const std::string& destination) {
    const std::optional<std::string> from = HostPath(source);
    const std::optional<std::string> to = HostPath(destination);
    if (!from || !to) {
        return false;
    }
    Descriptor input(::open(from->c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!input.Valid() || ::fstat(input.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    struct stat existing {};
    bool exists = false;
    if (!MayReplace(*to, existing, exists)) {
        return false;
    }
    TemporaryBeside output(*to);
    if (!output.Valid() || !CopyData(input.Get(), output.Fd(), status.st_size)) {
        return false;
    }
    const timespec times[2] = {status.st_atim, status.st_mtim};
    if (::futimens(output.Fd(), times) != 0 || ::fchmod(output.Fd(), status.st_mode & 07777) != 0) {
        return false;
    }
    return output.Commit();
}

bool PosixFiles::SetNormalAttributes(const std::string& path) {
    const std::optional<std::string> host = HostPath(path);
    struct stat status {};
    if (!host || ::stat(host->c_str(), &status) != 0) {
        return false;
    }
    return ::chmod(host->c_str(), (status.st_mode & 07777) | S_IWUSR) == 0;
}

bool PosixFiles::ReadContents(const std::string& path, std::string& contents) {
    const std::optional<std::string> host = HostPath(path);
    if (!host) {
        return false;
    }
    Descriptor fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return false;
    }
    contents.clear();
    struct stat status {};
    if (::fstat(fd.Get(), &status) == 0 && status.st_size > 0) {
        // One allocation of the right size rather than a chain of growing copies.
        contents.reserve(static_cast<std::size_t>(status.st_size));
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents.append(buffer, static_cast<std::size_t>(got));
    }
}

bool PosixFiles::ReplaceContents(const std::string& path, std::string_view contents) {
    const std::optional<std::string> host = HostPath(path);
    if (!host) {
        return false;
    }
    struct stat existing {};
    bool exists = false;
    if (!MayReplace(*host, existing, exists)) {
        return false;
    }
    TemporaryBeside output(*host);
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
    if (::fsync(output.Fd()) != 0) {
        return false;
    }
    return output.Commit();
}

}  // namespace kolvane::platform
