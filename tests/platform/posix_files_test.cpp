#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/posix/copy_data.h"
#include "platform/posix/unique_fd.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;

class PosixFilesTest : public ::testing::Test {
  protected:
    PosixFilesTest() : files_(RootDrive()) {}

    static DriveMap RootDrive() {
        DriveMap drives;
        drives.Assign('z', "/");
        return drives;
    }

    std::size_t EntriesIn(const std::string& relative) {
        return static_cast<std::size_t>(std::distance(
            fs::directory_iterator(dir_.HostPath(relative)), fs::directory_iterator()));
    }

    testing::TempDir dir_;
    PosixFiles files_;
};

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Removed files are closed on other threads: their names are gone when RemoveFile returns, a
// link's file goes and the link stays, and nothing of them is held once the seam ends.
TEST_F(PosixFilesTest, RemovedFilesAreGoneAtOnceAndReleasedByTheEnd) {
    const std::size_t before = OpenDescriptors();
    {
        PosixFiles files(RootDrive());
        for (int i = 0; i < 40; ++i) {
            const std::string name = "d/" + std::to_string(i) + ".dat";
            dir_.Write(name, std::string(4096, 'x'));
            ASSERT_TRUE(files.RemoveFile(dir_.WindowsPath(name))) << name;
            EXPECT_FALSE(fs::exists(dir_.HostPath(name))) << name;
        }
        EXPECT_FALSE(files.RemoveFile(dir_.WindowsPath("d/0.dat")));
        dir_.Write("d/target.dat", "t");
        fs::create_symlink(dir_.HostPath("d/target.dat"), dir_.HostPath("d/link.dat"));
        EXPECT_TRUE(files.RemoveFile(dir_.WindowsPath("d/link.dat")));
        EXPECT_FALSE(fs::exists(dir_.HostPath("d/target.dat")));
        EXPECT_TRUE(fs::is_symlink(dir_.HostPath("d/link.dat")));
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(PosixFilesTest, ReplacesContentsAndKeepsPermissions) {
    dir_.Write("d/cat.txt", "old");
    fs::permissions(dir_.HostPath("d/cat.txt"), fs::perms(0640));
    EXPECT_TRUE(files_.ReplaceContents(dir_.WindowsPath("d/cat.txt"), "new\r\n"));
    EXPECT_EQ(dir_.Read("d/cat.txt"), "new\r\n");
    EXPECT_EQ(fs::status(dir_.HostPath("d/cat.txt")).permissions(), fs::perms(0640));
    EXPECT_EQ(EntriesIn("d"), 1u) << "no temporary file is left behind";
    EXPECT_FALSE(files_.ReplaceContents("Q:\\nowhere.txt", "x")) << "an unknown drive";
}

// Copying onto a file that already is such a copy leaves it alone: a file with the same size and
// time but other bytes is replaced; other permissions do not make it another file.
TEST_F(PosixFilesTest, ACopyOntoAnEqualFileChangesNothingAndADifferentOneIsReplaced) {
    const std::string payload(200000, 'm');
    const FileTime written = (1600000000ull + 11644473600ull) * 10000000ull + 7ull;
    const std::string source = dir_.Write("src.dat", payload);
    testing::SetLastWriteTime(source, written);
    fs::permissions(source, fs::perms(0644));

    struct Case {
        const char* name;
        std::string present;
        fs::perms permissions;
        fs::perms after = fs::perms(0644);
    };
    std::string lastByte = payload;
    lastByte.back() = 'n';
    std::string firstChunk = payload;
    firstChunk[10] = 'n';
    const Case cases[] = {
        {"the same file", payload, fs::perms(0644)},
        {"other last byte", lastByte, fs::perms(0644)},
        {"other byte early", firstChunk, fs::perms(0644)},
        {"other permissions", payload, fs::perms(0600), fs::perms(0600)},
        {"shorter", payload.substr(1), fs::perms(0644)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string present = dir_.Write("dst.dat", c.present);
        testing::SetLastWriteTime(present, written);
        fs::permissions(present, c.permissions);
        ASSERT_TRUE(files_.CopyFileOver(dir_.WindowsPath("src.dat"), dir_.WindowsPath("dst.dat")));
        EXPECT_EQ(dir_.Read("dst.dat"), payload);
        EXPECT_EQ(fs::status(present).permissions(), c.after);
        EXPECT_EQ(fs::last_write_time(present), fs::last_write_time(source));
    }
    EXPECT_EQ(EntriesIn(""), 2u) << "no temporary file is left behind";
}

// The kernel's copy gives way to reads and writes only where it says that it cannot copy between
// the two files; any other error fails the copy.
int g_kernelError = 0;
int g_kernelCalls = 0;

// Interrupted once, then copies the first 4096 bytes as the kernel would, then fails.
ssize_t FailingKernelCopy(int from, int to, std::size_t) {
    switch (g_kernelCalls++) {
        case 0:
            errno = EINTR;
            return -1;
        case 1: {  // both files move on, as with the kernel's copy
            char buffer[4096];
            return ::read(from, buffer, 4096) == 4096 ? ::write(to, buffer, 4096) : -1;
        }
        default:
            errno = g_kernelError;
            return -1;
    }
}

TEST_F(PosixFilesTest, TheKernelCopyFallsBackOnlyWhereItCannotCopy) {
    std::string payload(100000, 'p');
    payload[5000] = 'q';  // after the part the kernel copied
    dir_.Write("src.dat", payload);
    const std::pair<int, bool> cases[] = {{ENOSYS, true}, {EXDEV, true},   {EOPNOTSUPP, true},
                                          {EINVAL, true}, {ENOSPC, false}, {EIO, false},
                                          {EBADF, false}};  // the error, and whether it copies
    for (const auto& [error, copies] : cases) {
        SCOPED_TRACE(std::strerror(error));
        const UniqueFd from(::open(dir_.HostPath("src.dat").c_str(), O_RDONLY | O_CLOEXEC));
        const UniqueFd to(
            ::open(dir_.HostPath("dst.dat").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_TRUE(from.Valid() && to.Valid());
        g_kernelError = error;
        g_kernelCalls = 0;
        EXPECT_EQ(CopyFileData(from.Get(), to.Get(), static_cast<off_t>(payload.size()),
                               FailingKernelCopy),
                  copies);
        EXPECT_EQ(g_kernelCalls, 3);
        EXPECT_EQ(dir_.Read("dst.dat") == payload, copies) << "the whole file copied";
    }
}

}  // namespace
}  // namespace kolvane::platform
