#pragma once

// The posix implementations of the seams, for the contract suites.
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/posix/posix_disk_probe.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/wine_registry.h"
#include "support/temp_dir.h"

namespace kolvane::platform {

// The file seam on a temporary folder that is drive K: of its drive table.
class PlatformFiles {
  public:
    static constexpr const char* kName = "PosixFiles";

    explicit PlatformFiles(const testing::TempDir& dir) : files_(DriveK(dir)) {}
    Files& Get() { return files_; }
    std::string Root() const { return "K:"; }
    std::unique_ptr<platform::DiskProbe> MakeProbe() const {
        return std::make_unique<platform::PosixDiskProbe>(files_);
    }

    // The bare file system under the seam, for a write core of the test's own.
    static std::unique_ptr<FileSystem> MakeFileSystem(const testing::TempDir& dir) {
        return std::make_unique<PosixFileSystem>(DriveK(dir));
    }

    // Which file the host path names: its inode.
    static std::uint64_t FileId(const std::string& hostPath) {
        struct stat status {};
        return ::stat(hostPath.c_str(), &status) == 0 ? status.st_ino : 0;
    }

    // Holds a file as a run of the native program holds the file it is writing: open, with the
    // lock on its byte at 2^62.
    class WritingRun {
      public:
        explicit WritingRun(const std::string& hostPath)
            : fd_(::open(hostPath.c_str(), O_RDWR | O_CLOEXEC)) {
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = off_t{1} << 62;
            lock.l_len = 1;
            holds_ = fd_.Valid() && ::fcntl(fd_.Get(), F_OFD_SETLK, &lock) == 0;
        }
        bool Holds() const { return holds_; }

      private:
        UniqueFd fd_;
        bool holds_ = false;
    };

  private:
    static DriveMap DriveK(const testing::TempDir& dir) {
        DriveMap drives;
        drives.Assign('k', dir.Path());
        return drives;
    }

    PosixFiles files_;
};

// The registry of a Wine prefix in a temporary folder: the values set become Wine's system.reg.
// String values are written as UTF-16, so they must be ASCII.
class PlatformRegistry {
  public:
    static constexpr const char* kName = "WinePrefixRegistry";

    PlatformRegistry() : registry_(dir_.Path()) {}
    Registry& Get() { return registry_; }

    void Set(const std::string& key, const std::string& name, std::uint32_t type,
             const std::string& bytes) {
        lines_ += "[Software\\\\Classes";
        for (char c : "\\" + key) {
            lines_ += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        lines_ += "] 0\n" + (name.empty() ? "@" : "\"" + name + "\"") + "=hex(" +
                  std::to_string(type) + "):";
        const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
        std::string separator;
        const auto append = [&](unsigned byte) {
            static constexpr char kDigits[] = "0123456789abcdef";
            lines_ += separator + kDigits[byte >> 4] + kDigits[byte & 0xF];
            separator = ",";
        };
        for (unsigned char byte : bytes) {
            append(byte);
            if (text) {
                append(0);  // the high byte of the UTF-16 unit
            }
        }
        lines_ += '\n';
        dir_.Write("system.reg", "WINE REGISTRY Version 2\n\n" + lines_);
    }

  private:
    testing::TempDir dir_;
    std::string lines_;
    WinePrefixRegistry registry_;
};

}  // namespace kolvane::platform
