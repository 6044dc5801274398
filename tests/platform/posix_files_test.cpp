#include "platform/posix/posix_files.h"

#include <gtest/gtest.h>

#include <filesystem>

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

    void MakeReadOnly(const std::string& relative) {
        testing::MakeReadOnly(dir_.HostPath(relative));
    }

    std::size_t EntriesIn(const std::string& relative) {
        return static_cast<std::size_t>(std::distance(
            fs::directory_iterator(dir_.HostPath(relative)), fs::directory_iterator()));
    }

    testing::TempDir dir_;
    PosixFiles files_;
};

TEST_F(PosixFilesTest, ReplacesContentsAndKeepsPermissions) {
    dir_.Write("d/cat.txt", "old");
    fs::permissions(dir_.HostPath("d/cat.txt"), fs::perms(0640));
    EXPECT_TRUE(files_.ReplaceContents(dir_.WindowsPath("d/cat.txt"), "new\r\n"));
    EXPECT_EQ(dir_.Read("d/cat.txt"), "new\r\n");
    EXPECT_EQ(fs::status(dir_.HostPath("d/cat.txt")).permissions(), fs::perms(0640));
    EXPECT_EQ(EntriesIn("d"), 1u) << "no temporary file is left behind";

    EXPECT_TRUE(files_.ReplaceContents(dir_.WindowsPath("d/new.txt"), ""));
    EXPECT_TRUE(dir_.Exists("d/new.txt"));
}

TEST_F(PosixFilesTest, NeverReplacesAReadOnlyFileOrWritesIntoALockedFolder) {
    dir_.Write("d/cat.txt", "old");
    MakeReadOnly("d/cat.txt");
    EXPECT_FALSE(files_.ReplaceContents(dir_.WindowsPath("d/cat.txt"), "new"));
    EXPECT_EQ(dir_.Read("d/cat.txt"), "old");

    EXPECT_TRUE(files_.SetNormalAttributes(dir_.WindowsPath("d/cat.txt")));
    EXPECT_TRUE(files_.ReplaceContents(dir_.WindowsPath("d/cat.txt"), "new"));
    EXPECT_EQ(dir_.Read("d/cat.txt"), "new");

    EXPECT_FALSE(files_.ReplaceContents(dir_.WindowsPath("missing/cat.txt"), "x"));
    EXPECT_FALSE(files_.ReplaceContents(dir_.WindowsPath("d"), "x")) << "a directory";
    EXPECT_FALSE(files_.ReplaceContents("Q:\\nowhere.txt", "x")) << "an unknown drive";
}

TEST_F(PosixFilesTest, CopiesContentsTimeAndAttributes) {
    const std::string source = dir_.Write("src.dat", std::string(300000, 'x'));
    const FileTime written = (1234567890ull + 11644473600ull) * 10000000ull + 1234567ull;
    testing::SetLastWriteTime(source, written);
    MakeReadOnly("src.dat");

    dir_.Write("dst.dat", "old");
    ASSERT_TRUE(files_.CopyFileOver(dir_.WindowsPath("src.dat"), dir_.WindowsPath("dst.dat")));
    EXPECT_EQ(dir_.Read("dst.dat"), std::string(300000, 'x'));

    FileTime sourceTime = 0;
    FileTime copyTime = 0;
    {
        ScopedFile from(files_, dir_.WindowsPath("src.dat"));
        ScopedFile to(files_, dir_.WindowsPath("dst.dat"));
        ASSERT_TRUE(from.IsOpen() && to.IsOpen());
        ASSERT_TRUE(files_.LastWriteTime(from.Get(), sourceTime));
        ASSERT_TRUE(files_.LastWriteTime(to.Get(), copyTime));
    }
    EXPECT_EQ(sourceTime, written);
    EXPECT_EQ(copyTime, sourceTime);

    // The copy is read-only like its source, so a second copy onto it fails and leaves it whole.
    dir_.Write("other.dat", "other");
    EXPECT_FALSE(files_.CopyFileOver(dir_.WindowsPath("other.dat"), dir_.WindowsPath("dst.dat")));
    EXPECT_EQ(dir_.Read("dst.dat"), std::string(300000, 'x'));
    EXPECT_EQ(EntriesIn(""), 3u) << "no temporary file is left behind";
}

// Copying onto a file that already is such a copy may leave it alone, but only when nothing
// would change: a file with the same size and time but other bytes or permissions is replaced.
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
    };
    std::string lastByte = payload;
    lastByte.back() = 'n';
    std::string firstChunk = payload;
    firstChunk[10] = 'n';
    const Case cases[] = {
        {"the same file", payload, fs::perms(0644)},
        {"other last byte", lastByte, fs::perms(0644)},
        {"other byte early", firstChunk, fs::perms(0644)},
        {"other permissions", payload, fs::perms(0600)},
        {"shorter", payload.substr(1), fs::perms(0644)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string present = dir_.Write("dst.dat", c.present);
        testing::SetLastWriteTime(present, written);
        fs::permissions(present, c.permissions);
        ASSERT_TRUE(files_.CopyFileOver(dir_.WindowsPath("src.dat"), dir_.WindowsPath("dst.dat")));
        EXPECT_EQ(dir_.Read("dst.dat"), payload);
        EXPECT_EQ(fs::status(present).permissions(), fs::perms(0644));
        EXPECT_EQ(fs::last_write_time(present), fs::last_write_time(source));
    }
    EXPECT_EQ(EntriesIn(""), 2u) << "no temporary file is left behind";
}

TEST_F(PosixFilesTest, ReportsDirectoriesAndMissingFiles) {
    EXPECT_EQ(files_.MakeDirectory(dir_.WindowsPath("a")), DirectoryResult::kCreated);
    EXPECT_EQ(files_.MakeDirectory(dir_.WindowsPath("a")), DirectoryResult::kAlreadyExists);
    dir_.Write("f", "");
    EXPECT_EQ(files_.MakeDirectory(dir_.WindowsPath("f")), DirectoryResult::kAlreadyExists);
    EXPECT_EQ(files_.MakeDirectory(dir_.WindowsPath("x/y")), DirectoryResult::kFailed);

    EXPECT_EQ(files_.OpenForReading(dir_.WindowsPath("a")), kInvalidFile);
    EXPECT_EQ(files_.OpenForReading(dir_.WindowsPath("none")), kInvalidFile);
    EXPECT_FALSE(files_.CopyFileOver(dir_.WindowsPath("none"), dir_.WindowsPath("a/n")));
    EXPECT_FALSE(dir_.Exists("a/n"));
    std::string contents;
    EXPECT_FALSE(files_.ReadContents(dir_.WindowsPath("none"), contents));
    EXPECT_FALSE(files_.ReadContents(dir_.WindowsPath("a"), contents));
}

}  // namespace
}  // namespace kolvane::platform
