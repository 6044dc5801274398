#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <set>

#include "platform/posix/posix_files.h"
#include "platform/posix/windows_path.h"
#include "platform/posix/windows_text.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;
using Components = std::vector<std::string>;

TEST(SplitWindowsPathTest, ResolvesThePathWithoutLookingAtTheDisk) {
    struct Case {
        const char* path;
        char drive;
        Components components;
        bool trailing;
    };
    const Case cases[] = {
        {"C:\\Host\\File.dat", 'C', {"Host", "File.dat"}, false},
        {"z:/tmp//x\\", 'z', {"tmp", "x"}, true},
        {"C:\\t\\h\\..\\..\\x.dat", 'C', {"x.dat"}, false},
        {"C:\\..\\..\\x.dat", 'C', {"x.dat"}, false},
        {"C:\\a\\.\\b\\.", 'C', {"a", "b"}, false},
        {"C:\\a\\...\\b", 'C', {"a", "...", "b"}, false},
        {"C:", 'C', {}, false},
        {"C:\\", 'C', {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto parts = SplitWindowsPath(c.path);
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->drive, c.drive);
        EXPECT_EQ(parts->components, c.components);
        EXPECT_EQ(parts->trailingSeparator, c.trailing);
    }
    for (const std::string path :
         {"C:relative", "\\\\server\\share\\x", "\\x", "relative\\x", "", "1:\\x"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(SplitWindowsPath(path), std::nullopt);
    }
    EXPECT_EQ(SplitWindowsPath(std::string("C:\\a\0b", 6)), std::nullopt) << "an inner NUL";
}

TEST(WindowsTextTest, ConvertsWindows1252ToUtf8) {
    EXPECT_EQ(Windows1252ToUtf8("Plain ASCII\\x.dat"), "Plain ASCII\\x.dat");
    EXPECT_EQ(Windows1252ToUtf8("Br\xFC"
                                "cke.dat"),
              "Br\xC3\xBC"
              "cke.dat");
    EXPECT_EQ(Windows1252ToUtf8("\x80\x8A\x9F\xA0\xFF"),
              "\xE2\x82\xAC\xC5\xA0\xC5\xB8\xC2\xA0\xC3\xBF");
    EXPECT_EQ(Windows1252ToUtf8("\x81\x9D"), "\xC2\x81\xC2\x9D") << "unassigned bytes";
}

TEST(WindowsTextTest, ComparesNamesAsWindowsDoes) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"File.dat", "file.DAT", true},
        {"BR\xC3\x9C"
         "CKE",
         "br\xC3\xBC"
         "cke",
         true},                                                          // Ü ü
        {"\xC5\x92uvre", "\xC5\x93UVRE", true},                          // Œ œ
        {"\xC5\xA0\xC5\xBD\xC5\xB8", "\xC5\xA1\xC5\xBE\xC3\xBF", true},  // ŠŽŸ šžÿ
        {"\xC3\x97", "\xC3\xB7", false},                                 // × ÷ are no pair
        {"\xC3\x9F", "SS", false},                                       // ß
        {"\xC4\xB0", "\xC4\xB1", false},                                 // İ ı
        {"abc", "abcd", false},
        {"", "", true},
        {"\xFC", "\xFC", true},  // not UTF-8: exact bytes only
        {"\xFC", "\xDC", false},
        {"\xC3", "\xC3\xBC", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(SameNameIgnoringCase(c.a, c.b), c.same);
        EXPECT_EQ(SameNameIgnoringCase(c.b, c.a), c.same);
    }
}

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
    dir_.Write(
        "Host/Br\xC3\xBC"
        "cke.dat",
        "");
    dir_.Write("Host/\xC5\x92uvre/x", "");
    const std::string root = dir_.Path();
    struct Case {
        std::string windows;
        std::string host;
    };
    const Case cases[] = {
        {"C:\\Host\\Sub\\File.dat", root + "/Host/Sub/File.dat"},
        {"C:\\Host" + std::string(10000, '\\') + "Sub\\/\\File.dat", root + "/Host/Sub/File.dat"},
        {"c:\\HOST\\sub\\file.DAT", root + "/Host/Sub/File.dat"},
        {"C:/host/SUB/File.dat", root + "/Host/Sub/File.dat"},
        {"C:\\host\\Br\xFC"
         "cke.dat",
         root + "/Host/Br\xC3\xBC"
                "cke.dat"},
        {"C:\\host\\BR\xDC"
         "CKE.DAT",
         root + "/Host/Br\xC3\xBC"
                "cke.dat"},
        {"C:\\host\\\x9C"
         "UVRE\\X",
         root + "/Host/\xC5\x92uvre/x"},
        // A missing tail stays as written, below what was found.
        {"C:\\host\\SUB\\New\\Deeper.dat", root + "/Host/Sub/New/Deeper.dat"},
        {"C:\\host\\Gr\xF6\xDF"
         "e.dat",
         root + "/Host/Gr\xC3\xB6\xC3\x9F"
                "e.dat"},
        // ".." is taken away before the disk is asked, even through what does not exist.
        {"C:\\host\\missing\\..\\sub\\.\\file.dat", root + "/Host/Sub/File.dat"},
        {"C:\\..\\..\\host", root + "/Host"},
        {"C:\\host\\", root + "/Host/"},
        {"C:\\", root},
        {"Z:\\", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(files_.HostPath(c.windows), c.host);
    }
    EXPECT_EQ(files_.HostPath("D:\\x"), std::nullopt);
    EXPECT_EQ(files_.HostPath("C:x"), std::nullopt);
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
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(files_.HostPath(path), PosixFiles(Drives()).HostPath(path));
    }
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
    EXPECT_EQ(files_.HostPath("C:\\readme"), dir_.HostPath("readme"));
    EXPECT_EQ(files_.HostPath("C:\\ReadMe"), dir_.HostPath("ReadMe"));
    EXPECT_EQ(files_.HostPath("C:\\rEADME"), dir_.HostPath("README")) << "first in byte order";
}

TEST_F(PosixPathTest, OperationsWorkThroughTheMapping) {
    dir_.Write("pkg/Sub/File.dat", "package");
    dir_.Write("host/Target/present.dat", "present");
    ASSERT_TRUE(files_.CopyFileOver("C:\\PKG\\sub\\file.dat", "C:\\Host\\TARGET\\Present.dat"));
    EXPECT_EQ(dir_.Read("host/Target/present.dat"), "package");
    EXPECT_EQ(files_.MakeDirectory("C:\\HOST\\target"), DirectoryResult::kAlreadyExists);
    EXPECT_EQ(files_.MakeDirectory("C:\\HOST\\target\\Neu"), DirectoryResult::kCreated);
    ASSERT_TRUE(files_.CopyFileOver("C:\\pkg\\Sub\\File.dat", "C:\\host\\TARGET\\neu\\\xC4.dat"));
    EXPECT_EQ(Names("host"), std::set<std::string>{"Target"});
    EXPECT_EQ(Names("host/Target"), (std::set<std::string>{"present.dat", "Neu"}));
    EXPECT_EQ(Names("host/Target/Neu"), std::set<std::string>{"\xC3\x84.dat"});

    const FileHandle file = files_.OpenForReading("C:\\host\\target\\NEU\\\xE4.DAT");
    EXPECT_NE(file, kInvalidFile);
    if (file != kInvalidFile) {
        files_.CloseFile(file);
    }
    std::string contents;
    EXPECT_TRUE(files_.ReadContents("C:\\HOST\\Target\\PRESENT.DAT", contents));
    EXPECT_EQ(contents, "package");
    EXPECT_TRUE(files_.ReplaceContents("c:\\host\\target\\present.dat", "replaced"));
    EXPECT_EQ(dir_.Read("host/Target/present.dat"), "replaced");
    EXPECT_EQ(Names("host/Target"), (std::set<std::string>{"present.dat", "Neu"}));
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

}  // namespace
}  // namespace kolvane::platform
