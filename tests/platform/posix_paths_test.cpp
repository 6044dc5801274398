#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <csignal>

#include <filesystem>
#include <set>

#include "names/windows_path.h"
#include "names/windows_text.h"
#include "platform/posix/posix_files.h"
#include "support/real_files.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;

// Lowers this process's file size limit for as long as it lives. Writing past the limit then
// fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

class PosixPathTest : public ::testing::Test {
  protected:
    PosixPathTest() : files_(Drives()) {}

    DriveMap Drives() const {
        DriveMap drives;
        drives.Assign('z', "/");
        drives.Assign('c', dir_.Path());
        return drives;
    }
    // Each of `paths`, taken in turn by one seam, is found where a fresh seam finds it.
    template <std::size_t N>
    void ExpectFoundAsAtFirstSight(const std::string (&paths)[N]) {
        for (const std::string& path : paths) {
            SCOPED_TRACE(path);
            EXPECT_EQ(files_.NativePath(path), PosixFiles(Drives()).NativePath(path));
        }
    }
    std::set<std::string> Names(const std::string& relative) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.HostPath(relative))) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    testing::TempDir dir_;
    PosixFiles files_;
};

TEST_F(PosixPathTest, FindsWhatIsThereWhateverTheCase) {
    dir_.Write("Host/Sub/File.dat", "");
    dir_.Write("Host/Br\xC3\xBC.dat", "");
    dir_.Write("Host/\xC5\x92uvre/\xC5\xA0.dat", "");
    const std::string root = dir_.Path();
    struct Case {
        std::string windows;
        std::string native;
    };
    const Case cases[] = {
        {"C:\\Host\\Sub\\File.dat", root + "/Host/Sub/File.dat"},
        {"C:\\Host" + std::string(10000, '\\') + "Sub\\/\\File.dat", root + "/Host/Sub/File.dat"},
        {"c:\\HOST\\sub\\file.DAT", root + "/Host/Sub/File.dat"},
        {"C:/host/SUB/File.dat", root + "/Host/Sub/File.dat"},
        {"C:\\host\\Br\xFC.dat", root + "/Host/Br\xC3\xBC.dat"},
        {"C:\\host\\BR\xDC.DAT", root + "/Host/Br\xC3\xBC.dat"},
        {"C:\\host\\\x9CUVRE\\\x9A.DAT", root + "/Host/\xC5\x92uvre/\xC5\xA0.dat"},  // œ Œ, š Š
        // A missing tail stays as written, below what was found.
        {"C:\\host\\SUB\\New\\Deeper.dat", root + "/Host/Sub/New/Deeper.dat"},
        {"C:\\host\\Gr\xF6\xDF.dat", root + "/Host/Gr\xC3\xB6\xC3\x9F.dat"},
        // ".." is taken away before the disk is asked, even through what does not exist.
        {"C:\\host\\missing\\..\\sub\\.\\file.dat", root + "/Host/Sub/File.dat"},
        {"C:\\..\\..\\host", root + "/Host"},
        {"C:\\host\\", root + "/Host/"},
        {"C:\\", root},
        {"Z:\\", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(files_.NativePath(c.windows), c.native);
    }
    EXPECT_EQ(files_.NativePath("D:\\x"), std::nullopt);
    EXPECT_EQ(files_.NativePath("C:x"), std::nullopt);
}

// Each path is read on from where it parts from the one before; the answers are those of a
// first look.
TEST_F(PosixPathTest, APathReadOnFromThePreviousOneIsFoundAsAtFirstSight) {
    dir_.Write("Host/Sub/File.dat", "");
    dir_.Write("Host/ab/x", "");
    dir_.Write("Host/a/x", "");
    const std::string paths[] = {
        "C:\\host\\sub\\file.dat",
        "C:\\host\\sub\\file.dat\\",
        "C:\\host\\sub",  // cut at a separator
        "C:\\host\\su",   // and within a name
        "C:\\host\\sub\\..\\AB\\x",
        "C:\\host\\sub\\..\\A\\x",
        "C:\\host\\a",
        "C:\\host\\ab",
        "C:\\host\\.\\ab\\\\\\.",
        "C:\\host\\.\\ab\\\\\\..",
        "C:\\host\\.\\ab\\\\\\.x",
        "c:\\HOST\\Sub\\NEW\\..\\..\\a",
        "Z:\\",
        "C:",
        "C:\\host\\missing\\deeper\\..\\..\\sub",
    };
    ExpectFoundAsAtFirstSight(paths);
}

TEST_F(PosixPathTest, WhatItMakesIsFoundInEveryCase) {
    dir_.Write("pkg/src.dat", "package");
    dir_.Write("host/old.dat", "");
    // The first look reads the folder, as the name is not there as written.
    EXPECT_EQ(files_.OpenForReading("C:\\HOST\\NEU.DAT"), kInvalidFile);
    ASSERT_TRUE(files_.CopyFileOver("C:\\pkg\\src.dat", "C:\\Host\\Neu.dat"));
    EXPECT_EQ(files_.MakeDirectory("C:\\HOST\\Ordner"), DirectoryResult::kCreated);
    EXPECT_EQ(files_.MakeDirectory("C:\\host\\ORDNER"), DirectoryResult::kAlreadyExists);
    ASSERT_TRUE(files_.ReplaceContents("C:\\host\\ordner\\Datei.txt", "text"));
    std::string contents;
    EXPECT_TRUE(files_.ReadContents("C:\\HOST\\neu.DAT", contents));
    EXPECT_EQ(contents, "package");
    EXPECT_TRUE(files_.ReadContents("C:\\HOST\\orDNer\\DATEI.TXT", contents));
    EXPECT_EQ(contents, "text");
    EXPECT_EQ(Names("host"), (std::set<std::string>{"Neu.dat", "Ordner", "old.dat"}));
    // What others make meanwhile is found where it is asked for as written.
    dir_.Write("host/later.dat", "later");
    EXPECT_TRUE(files_.ReadContents("C:\\host\\later.dat", contents));
}

// The system's limit on the length of a path (4,096 bytes) is no limit here: each folder is
// reached from the one above it.
TEST_F(PosixPathTest, LongerThanThePathLengthLimit) {
    dir_.Write("pkg/src.dat", "package");
    std::string path = "C:\\host";
    ASSERT_EQ(files_.MakeDirectory(path), DirectoryResult::kCreated);
    for (int level = 0; level < 25; ++level) {
        path += "\\" + std::string(200, static_cast<char>('a' + level));
        ASSERT_EQ(files_.MakeDirectory(path), DirectoryResult::kCreated) << level;
    }
    const std::string file = path + "\\file.dat";
    EXPECT_TRUE(files_.CopyFileOver("C:\\pkg\\src.dat", file));
    EXPECT_TRUE(files_.SetNormalAttributes(file));
    std::string contents;
    EXPECT_TRUE(PosixFiles(Drives()).ReadContents(file, contents));
    EXPECT_EQ(contents, "package");
    // find walks the tree without whole paths; rm removes it, which TempDir could not.
    testing::ProcessRun find;
    find.args = {"find", dir_.HostPath("host"), "-name", "file.dat", "-printf", "%d %s\n"};
    EXPECT_EQ(testing::RunProcess(find).out, "26 7\n");
    testing::ProcessRun remove;
    remove.args = {"rm", "-rf", dir_.HostPath("host")};
    EXPECT_EQ(testing::RunProcess(remove).exitCode, 0);
}

TEST_F(PosixPathTest, PrefersTheExactNameAndOtherwisePicksTheSameOneEachTime) {
    dir_.Write("readme", "");
    dir_.Write("README", "");
    dir_.Write("ReadMe", "");
    EXPECT_EQ(files_.NativePath("C:\\readme"), dir_.HostPath("readme"));
    EXPECT_EQ(files_.NativePath("C:\\ReadMe"), dir_.HostPath("ReadMe"));
    EXPECT_EQ(files_.NativePath("C:\\rEADME"), dir_.HostPath("README")) << "first in byte order";
}

TEST_F(PosixPathTest, CopiesOntoTheLongestNames) {
    const std::string name(255, 'n');
    dir_.Write(name, "old");
    dir_.Write("src.dat", "new");
    EXPECT_TRUE(files_.CopyFileOver("C:\\src.dat", "C:\\" + name));
    EXPECT_EQ(dir_.Read(name), "new");
    EXPECT_TRUE(files_.ReplaceContents("C:\\" + name, "replaced"));
    EXPECT_EQ(dir_.Read(name), "replaced");
}

TEST_F(PosixPathTest, CopiesKeepNanosecondsAndOnlyPermissionBits) {
    const std::string source = dir_.Write("src.dat", "x");
    ASSERT_EQ(::chmod(source.c_str(), 04755), 0);
    const timespec times[2] = {{1'600'000'000, 111'111'111}, {1'600'000'000, 123'456'789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    ASSERT_TRUE(files_.CopyFileOver("C:\\src.dat", "C:\\dst.dat"));
    struct stat copy {};
    ASSERT_EQ(::stat(dir_.HostPath("dst.dat").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtim.tv_sec, 1'600'000'000);
    EXPECT_EQ(copy.st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(copy.st_mode & 07777, 0755u) << "no set-user-id bit on a copy";

    FileTime time = 0;
    const FileHandle file = files_.OpenForReading("C:\\dst.dat");
    ASSERT_NE(file, kInvalidFile);
    EXPECT_TRUE(files_.LastWriteTime(file, time));
    files_.CloseFile(file);
    EXPECT_EQ(time, (1'600'000'000ull + 11'644'473'600ull) * 10'000'000ull + 1'234'567ull)
        << "nanoseconds truncated to 100-nanosecond steps";
}

TEST_F(PosixPathTest, AFailedCopyLeavesTheDestinationAsItWas) {
    dir_.Write("dst.dat", "good");
    dir_.Write("big.dat", std::string(300'000, 'x'));
    {
        // Writing stops part way: the file size limit is below the source's size.
        const FileSizeLimit limit(100'000);
        EXPECT_FALSE(files_.CopyFileOver("C:\\big.dat", "C:\\dst.dat"));
    }
    EXPECT_EQ(dir_.Read("dst.dat"), "good");
    EXPECT_EQ(Names(""), (std::set<std::string>{"big.dat", "dst.dat"}))
        << "no temporary file is left behind";

    // A FIFO is no file to copy; nothing waits for a writer.
    ASSERT_EQ(::mkfifo(dir_.HostPath("fifo").c_str(), 0644), 0);
    EXPECT_EQ(files_.OpenForReading("C:\\fifo"), kInvalidFile);
    EXPECT_FALSE(files_.CopyFileOver("C:\\fifo", "C:\\dst.dat"));
    std::string contents;
    EXPECT_FALSE(files_.ReadContents("C:\\fifo", contents));
    EXPECT_EQ(dir_.Read("dst.dat"), "good");
}

// Two trees taken in turns, as a run takes the package's files and the host's: each path is
// read on from the earlier one it shares most with, and found as at first sight.
TEST_F(PosixPathTest, PathsTakingTurnsBetweenTwoTreesAreFoundAsAtFirstSight) {
    dir_.Write("Pkg/Sub/A.dat", "");
    dir_.Write("Host/Sub/B.dat", "");
    const std::string paths[] = {
        "C:\\pkg\\sub\\a.dat",
        "C:\\host\\sub\\b.dat",
        "C:\\pkg\\SUB\\A.DAT",
        "C:\\host\\sub",
        "C:\\pkg\\sub\\..\\..\\host\\sub\\b.dat",
        "C:\\host\\sub\\new\\x",
        "C:\\pkg",
        "C:\\host\\sub\\b.dat\\",
        "Z:\\",
        "C:\\pkg\\sub\\a.dat\\\\.",
        "C:\\host\\SUB\\new",
    };
    ExpectFoundAsAtFirstSight(paths);
}

// Where a path lies is put together from the names found on the way; a link is resolved however
// it was found (under another letter case, in the folder's listing), and a root joins its names
// as any folder does.
TEST_F(PosixPathTest, LocatesThroughLinksInAnyCaseAndThroughWhatItMade) {
    dir_.Write("pkg/a.dat", "a");
    dir_.Write("out/dir/x.dat", "x");
    fs::create_directories(dir_.HostPath("host"));
    fs::create_directory_symlink(dir_.HostPath("out/dir"), dir_.HostPath("pkg/toOut"));
    fs::create_directory_symlink(dir_.HostPath("pkg"), dir_.HostPath("host/toPkg"));
    fs::create_symlink(dir_.HostPath("out/dir/x.dat"), dir_.HostPath("pkg/toX.dat"));
    ASSERT_EQ(files_.MakeDirectory("C:\\pkg\\Made"), DirectoryResult::kCreated);
    struct Case {
        std::string path;
        std::string folder;
        Location expected;
    };
    const Case cases[] = {
        {"C:\\PKG\\TOOUT\\X.DAT", "C:\\pkg", Location::kOutside},
        {"C:\\pkg\\TOX.DAT", "C:\\pkg", Location::kOutside},
        {"C:\\HOST\\TOPKG\\Neu\\Tiefer\\x.dat", "C:\\pkg", Location::kInside},
        {"C:\\pkg\\made\\new.dat", "C:\\pkg", Location::kInside},
        {"C:\\pkg\\MADE", "C:\\PKG\\Made", Location::kInside},
        {"C:\\host\\toPkg\\a.dat", "C:\\out", Location::kOutside},
        {dir_.WindowsPath("pkg/a.dat"), "C:\\pkg", Location::kInside},  // from "/" on Z:
        {"C:\\pkg\\a.dat", dir_.WindowsPath("pkg"), Location::kInside},
        {dir_.WindowsPath("out"), "Z:\\", Location::kInside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " in " + c.folder);
        EXPECT_EQ(files_.LocateIn(c.path, c.folder), c.expected);
    }
}

// The attributes of a copy of a read-only package file are made normal like those of any other
// file, under any letter case.
TEST_F(PosixPathTest, ACopyOfAReadOnlyFileTakesNormalAttributes) {
    const std::string source = dir_.Write("pkg/ro.dat", "x");
    ASSERT_EQ(::chmod(source.c_str(), 0444), 0);
    ASSERT_EQ(files_.MakeDirectory("C:\\Host"), DirectoryResult::kCreated);
    ASSERT_TRUE(files_.CopyFileOver("C:\\pkg\\ro.dat", "C:\\Host\\ro.dat"));
    struct stat copy {};
    ASSERT_EQ(::stat(dir_.HostPath("Host/ro.dat").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mode & 07777, 0444u);
    EXPECT_TRUE(files_.SetNormalAttributes("C:\\HOST\\RO.DAT"));
    ASSERT_EQ(::stat(dir_.HostPath("Host/ro.dat").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mode & 07777, 0644u);
    EXPECT_TRUE(files_.SetNormalAttributes("C:\\host\\ro.dat"));
    EXPECT_EQ(Names("Host"), std::set<std::string>{"ro.dat"});
}

// A folder this run made holds what the run put there, and is not looked through again; what
// another program puts there meanwhile is met by the writes themselves: a folder it made counts
// as made, a read-only file it wrote is not replaced.
TEST_F(PosixPathTest, WhatOthersPutIntoAFolderThisRunMadeIsMetByTheWrites) {
    dir_.Write("pkg/src.dat", "package");
    ASSERT_EQ(files_.MakeDirectory("C:\\Neu"), DirectoryResult::kCreated);
    EXPECT_EQ(files_.OpenForReading("C:\\Neu\\x.dat"), kInvalidFile);
    fs::create_directories(dir_.HostPath("Neu/Sub"));
    testing::MakeReadOnly(dir_.Write("Neu/locked.dat", "theirs"));
    EXPECT_EQ(files_.MakeDirectory("C:\\Neu\\Sub"), DirectoryResult::kAlreadyExists);
    EXPECT_TRUE(files_.CopyFileOver("C:\\pkg\\src.dat", "C:\\Neu\\Sub\\x.dat"));
    EXPECT_EQ(dir_.Read("Neu/Sub/x.dat"), "package");
    EXPECT_FALSE(files_.CopyFileOver("C:\\pkg\\src.dat", "C:\\Neu\\locked.dat"));
    EXPECT_EQ(dir_.Read("Neu/locked.dat"), "theirs");
    dir_.Write("Neu/open.dat", "theirs");
    EXPECT_TRUE(files_.CopyFileOver("C:\\pkg\\src.dat", "C:\\Neu\\open.dat"));
    EXPECT_EQ(dir_.Read("Neu/open.dat"), "package");
    EXPECT_EQ(Names("Neu"), (std::set<std::string>{"Sub", "locked.dat", "open.dat"}));
}

// A copy has the package file's permissions also where the folder would give a new file fewer:
// through the umask, or a default ACL of the folder (checked on a folder's first copy, and so
// for a second one too).
TEST_F(PosixPathTest, CopiesKeepTheirPermissionsWhateverTheFolderGivesNewFiles) {
    fs::permissions(dir_.Write("pkg/src.dat", "x"), fs::perms(0644));
    fs::create_directories(dir_.HostPath("acl"));
    // A default ACL that gives a new file's group nothing: version 2, then user::rw-,
    // group::---, other::r--.
    const std::uint32_t acl[] = {2,          0x00060001, 0xFFFFFFFF, 0x00000004,
                                 0xFFFFFFFF, 0x00040020, 0xFFFFFFFF};
    const bool aclSet = ::setxattr(dir_.HostPath("acl").c_str(), "system.posix_acl_default", acl,
                                   sizeof acl, 0) == 0;
    const mode_t mask = ::umask(077);
    const bool masked = PosixFiles(Drives()).CopyFileOver("C:\\pkg\\src.dat", "C:\\masked.dat");
    ::umask(mask);
    ASSERT_TRUE(masked);
    for (const char* copy : {"C:\\masked.dat", "C:\\acl\\first.dat", "C:\\acl\\second.dat"}) {
        SCOPED_TRACE(copy);
        ASSERT_TRUE(copy[3] == 'm' || files_.CopyFileOver("C:\\pkg\\src.dat", copy));
        struct stat made {};
        ASSERT_EQ(::stat(files_.NativePath(copy)->c_str(), &made), 0);
        EXPECT_EQ(made.st_mode & 07777, 0644u);
    }
    if (!aclSet) {
        GTEST_SKIP() << "no default ACL could be set here; the umask alone was tried";
    }
}

}  // namespace
}  // namespace kolvane::platform
