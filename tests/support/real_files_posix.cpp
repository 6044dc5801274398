#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_files.h"
#include "support/real_files.h"

namespace kolvane::testing {
namespace {

constexpr std::int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
constexpr std::uint64_t kStepsPerSecond = 10'000'000;

}  // namespace

std::unique_ptr<platform::Files> MakeRealFiles() {
    platform::DriveMap drives;
    drives.Assign('z', "/");
    return std::make_unique<platform::PosixFiles>(std::move(drives));
}

void SetLastWriteTime(const std::string& hostPath, platform::FileTime time, SourceLocation caller) {
    const CallerTrace trace(caller);
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec =
        static_cast<time_t>(static_cast<std::int64_t>(time / kStepsPerSecond) - kEpochDifference);
    times[1].tv_nsec = static_cast<long>(time % kStepsPerSecond) * 100;
    if (::utimensat(AT_FDCWD, hostPath.c_str(), times, 0) != 0) {
        ADD_FAILURE() << "cannot set the time of " << hostPath;
    }
}

platform::FileTime GetLastWriteTime(const std::string& hostPath, SourceLocation caller) {
    const CallerTrace trace(caller);
    struct stat status {};
    if (::stat(hostPath.c_str(), &status) != 0) {
        ADD_FAILURE() << "cannot read the time of " << hostPath;
        return 0;
    }
    return static_cast<platform::FileTime>(status.st_mtim.tv_sec + kEpochDifference) *
               kStepsPerSecond +
           static_cast<platform::FileTime>(status.st_mtim.tv_nsec / 100);
}

void MakeReadOnly(const std::string& hostPath, SourceLocation caller) {
    const CallerTrace trace(caller);
    struct stat status {};
    if (::stat(hostPath.c_str(), &status) != 0 ||
        ::chmod(hostPath.c_str(), status.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) != 0) {
        ADD_FAILURE() << "cannot make " << hostPath << " read-only";
    }
}

bool IsReadOnly(const std::string& hostPath) {
    struct stat status {};
    return ::stat(hostPath.c_str(), &status) == 0 && (status.st_mode & S_IWUSR) == 0;
}

bool MakeSymlink(const std::string& targetHostPath, const std::string& linkHostPath) {
    return ::symlink(targetHostPath.c_str(), linkHostPath.c_str()) == 0;
}

void RemoveSymlink(const std::string& linkHostPath) {
    ::unlink(linkHostPath.c_str());
}

bool MakeHardLink(const std::string& existingHostPath, const std::string& newHostPath) {
    return ::link(existingHostPath.c_str(), newHostPath.c_str()) == 0;
}

}  // namespace kolvane::testing
