#include "platform/win32/win32_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/win32/windows_support.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;

// These run under Wine as an unprivileged user (or on Windows), where read-only files are
// honoured.
class Win32FilesTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& relative) const { return dir_.WindowsPath(relative); }

    std::size_t EntriesIn(const std::string& relative) const {
        return static_cast<std::size_t>(std::distance(
            fs::directory_iterator(dir_.HostPath(relative)), fs::directory_iterator()));
    }

    DWORD AttributesOf(const std::string& relative) const {
        return ::GetFileAttributesA(Path(relative).c_str());
    }

    testing::TempDir dir_;
    Win32Files files_;
};

TEST_F(Win32FilesTest, ACopyTakesTheAttributesOfItsSource) {
    testing::MakeReadOnly(dir_.Write("src.dat", "new"));
    ASSERT_TRUE(files_.CopyFileOver(Path("src.dat"), Path("dst.dat")));
    EXPECT_TRUE(testing::IsReadOnly(dir_.HostPath("dst.dat")));
}

// CopyFileA refuses hidden and system files as it refuses read-only ones, and so does the seam.
TEST_F(Win32FilesTest, NeverReplacesAHiddenOrSystemDestination) {
    dir_.Write("src.dat", "new");
    struct Case {
        const char* name;
        DWORD attributes;
    };
    const Case cases[] = {
        {"hidden", FILE_ATTRIBUTE_HIDDEN},
        {"system", FILE_ATTRIBUTE_SYSTEM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.Write("dst.dat", "good");
        ASSERT_NE(::SetFileAttributesA(Path("dst.dat").c_str(), c.attributes), 0);
        EXPECT_FALSE(files_.CopyFileOver(Path("src.dat"), Path("dst.dat")));
        EXPECT_EQ(dir_.Read("dst.dat"), "good");
        EXPECT_EQ(EntriesIn(""), 2u) << "no temporary file is left behind";

        // Normal attributes make it replaceable again.
        EXPECT_TRUE(files_.SetNormalAttributes(Path("dst.dat")));
        EXPECT_EQ(AttributesOf("dst.dat") &
                      (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                  0u);
        EXPECT_TRUE(files_.CopyFileOver(Path("src.dat"), Path("dst.dat")));
        EXPECT_EQ(dir_.Read("dst.dat"), "new");
    }
}

// Another program holds the file open: where it shares it for writing, the file is written in
// place; where it shares it only for reading, it stays as it was. Both alone and the installer's
// way: the model looked at first, the catalogue claimed and read first.
TEST_F(Win32FilesTest, AFileHeldOpenIsWrittenOnlyWhereItsHolderSharesWriting) {
    dir_.Write("src.dat", "new model");
    struct Case {
        DWORD share;
        bool written;
    };
    const Case cases[] = {
        {FILE_SHARE_READ, false},
        {FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
    };
    for (const bool installer : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(installer ? "installer's way, " : "alone, ") +
                         std::to_string(c.share));
            dir_.Write("dst.dat", "good");
            dir_.Write("cat.txt", "old catalogue");
            {
                const win32::ScopedFileHandle model(
                    ::CreateFileA(Path("dst.dat").c_str(), GENERIC_READ | GENERIC_WRITE, c.share,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
                const win32::ScopedFileHandle catalogue(
                    ::CreateFileA(Path("cat.txt").c_str(), GENERIC_READ | GENERIC_WRITE, c.share,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
                ASSERT_TRUE(model.IsValid() && catalogue.IsValid());
                Sight package;
                Sight present;
                if (installer) {
                    files_.Locate(Path("src.dat"), Path(""), &package);
                    files_.Locate(Path("dst.dat"), Path(""), &present);
                }
                EXPECT_EQ(
                    files_.Copy(Path("src.dat"), Path("dst.dat"), &package, &present, nullptr),
                    c.written);
                // A catalogue that cannot be claimed is not written.
                std::optional<ScopedClaim> claim;
                bool claimed = true;
                std::string contents;
                if (installer) {
                    claim.emplace(files_, Path("cat.txt"), std::chrono::milliseconds(0));
                    claimed = claim->Result() == ClaimResult::kClaimed &&
                              files_.ReadContents(Path("cat.txt"), contents);
                }
                EXPECT_EQ(claimed && files_.ReplaceContents(Path("cat.txt"), "new catalogue"),
                          c.written);
            }
            EXPECT_EQ(dir_.Read("dst.dat"), c.written ? "new model" : "good");
            EXPECT_EQ(dir_.Read("cat.txt"), c.written ? "new catalogue" : "old catalogue");
            EXPECT_EQ(EntriesIn(""), 3u) << "no temporary file is left behind";
        }
    }
}

TEST_F(Win32FilesTest, ReplacesContentsKeepingAttributes) {
    dir_.Write("cat.txt", "old");
    ASSERT_NE(::SetFileAttributesA(Path("cat.txt").c_str(), FILE_ATTRIBUTE_HIDDEN), 0);
    EXPECT_TRUE(files_.ReplaceContents(Path("cat.txt"), "new\r\n"));
    EXPECT_EQ(dir_.Read("cat.txt"), "new\r\n");
    EXPECT_NE(AttributesOf("cat.txt") & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(EntriesIn(""), 1u) << "no temporary file is left behind";
}

// Windows itself takes a file in a folder of up to 257 characters (259 with "\\x"); where no
// temporary name fits beside it, the file is written in place.
TEST_F(Win32FilesTest, WritesIntoFoldersAsLongAsWindowsTakesFilesIn) {
    dir_.Write("src.dat", "model");
    const std::string base = dir_.WindowsPath();
    for (std::size_t length = 249; length <= 257; ++length) {
        SCOPED_TRACE(length);
        const std::string folder = base + "\\" + std::string(length - base.size() - 1, 'f');
        ASSERT_EQ(folder.size(), length);
        ASSERT_NE(::CreateDirectoryA(folder.c_str(), nullptr), 0);
        for (const char* round : {"new", "again", "changed"}) {
            SCOPED_TRACE(round);
            if (std::string(round) == "changed") {
                std::ofstream(folder + "\\x", std::ios::binary) << "older";
                testing::SetLastWriteTime(folder + "\\x", 1);
            }
            EXPECT_TRUE(files_.CopyFileOver(Path("src.dat"), folder + "\\x"));
            EXPECT_TRUE(files_.ReplaceContents(folder + "\\c", round));
            std::string contents;
            EXPECT_TRUE(files_.ReadContents(folder + "\\x", contents));
            EXPECT_EQ(contents, "model");
            EXPECT_TRUE(files_.ReadContents(folder + "\\c", contents));
            EXPECT_EQ(contents, round);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2)
            << "no temporary file is left behind";
        fs::remove_all(folder);
    }
}

// A file that already is what the copy would make is left alone; any difference in size,
// last-write time or bytes (also past the first block compared) has it replaced.
TEST_F(Win32FilesTest, LeavesACopyThatIsAlreadyThereAlone) {
    const std::string payload(1536 * 1024, 'p');
    const FileTime time = 0x01D5'0000'0000'0007ull;
    testing::SetLastWriteTime(dir_.Write("src.dat", payload), time);
    std::string lastByte = payload;
    lastByte.back() = 'q';
    struct Case {
        const char* name;
        std::string present;
        FileTime time;
        bool leftAlone;
    };
    const Case cases[] = {
        {"the same", payload, time, true},
        {"other last byte", lastByte, time, false},
        {"shorter", payload.substr(1), time, false},
        {"other time", payload, time + 1, false},
    };
    const auto identity = [&] {
        const win32::ScopedFileHandle file(::CreateFileA(
            Path("dst.dat").c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        EXPECT_NE(::GetFileInformationByHandle(file.Get(), &info), 0);
        return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::SetLastWriteTime(dir_.Write("dst.dat", c.present), c.time);
        const std::uint64_t before = identity();
        ASSERT_TRUE(files_.CopyFileOver(Path("src.dat"), Path("dst.dat")));
        EXPECT_EQ(identity() == before, c.leftAlone);
        EXPECT_EQ(dir_.Read("dst.dat"), payload);
        EXPECT_EQ(testing::GetLastWriteTime(dir_.HostPath("dst.dat")), time);
    }
}

// An entry's calls in the installer's order: what the location checks opened serves the calls
// that follow, and nothing stays open once the copy is through or the looks are dropped.
TEST_F(Win32FilesTest, KeepsFilesOpenOnlyWhileTheirLooksAreHeld) {
    dir_.Write("pkg/a.dat", "new");
    const FileTime old = 0x01D5'0000'0000'0007ull;
    testing::SetLastWriteTime(dir_.Write("host/a.dat", "old"), old);
    const auto openAlone = [&](const std::string& relative) {
        return win32::ScopedFileHandle(::CreateFileA(Path(relative).c_str(), GENERIC_READ, 0,
                                                     nullptr, OPEN_EXISTING, 0, nullptr))
            .IsValid();
    };
    for (const bool copy : {false, true}) {
        SCOPED_TRACE(copy ? "copied" : "dropped");
        Sight package;
        Sight present;
        EXPECT_EQ(files_.Locate(Path("pkg/a.dat"), Path("pkg"), &package), Location::kInside);
        EXPECT_EQ(files_.Locate(Path("host/a.dat"), Path("pkg"), &present), Location::kOutside);
        ASSERT_TRUE(present.file);
        EXPECT_EQ(present.file->Info().written, old);
        EXPECT_FALSE(openAlone("host/a.dat")) << "held by its look";
        if (copy) {
            FileInfo made;
            EXPECT_TRUE(
                files_.Copy(Path("pkg/a.dat"), Path("host/a.dat"), &package, &present, &made));
        } else {
            package = Sight{};
            present = Sight{};
        }
        EXPECT_TRUE(openAlone("pkg/a.dat"));
        EXPECT_TRUE(openAlone("host/a.dat"));
    }
    EXPECT_EQ(dir_.Read("host/a.dat"), "new");

    // A folder made now is known at once.
    Sight missing;
    EXPECT_EQ(files_.Locate(Path("pkg/New/b.dat"), Path("pkg"), &missing), Location::kInside);
    EXPECT_TRUE(missing.missing);
    EXPECT_EQ(files_.MakeDirectory(Path("pkg/New")), DirectoryResult::kCreated);
    EXPECT_EQ(files_.LocateIn(Path("pkg/New/b.dat"), Path("pkg")), Location::kInside);
    EXPECT_EQ(files_.LocateIn(Path("host/New/b.dat"), Path("pkg")), Location::kOutside);
}

// After a copy, normal attributes are what SetFileAttributesA gives a file, whether the seam sets
// them or has seen that setting them changes nothing; for a file left alone as well.
TEST_F(Win32FilesTest, GivesACopyNormalAttributesAsWindowsDoes) {
    dir_.Write("reference.dat", "r");
    ASSERT_NE(::SetFileAttributesA(Path("reference.dat").c_str(), FILE_ATTRIBUTE_NORMAL), 0);
    const DWORD normal = AttributesOf("reference.dat");
    const DWORD kinds[] = {0, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY};
    for (const DWORD kind : kinds) {
        const std::string source = "src" + std::to_string(kind) + ".dat";
        dir_.Write(source, "model");
        if (kind != 0) {
            ASSERT_NE(::SetFileAttributesA(Path(source).c_str(), kind), 0);
        }
        for (const char* copy : {"a", "b", "b"}) {  // b twice: made, then left alone
            SCOPED_TRACE(source + " to " + copy);
            const std::string destination = std::to_string(kind) + copy + ".dat";
            FileInfo made;
            EXPECT_TRUE(files_.Copy(Path(source), Path(destination), nullptr, nullptr, &made));
            EXPECT_TRUE(files_.MakeNormal(Path(destination), &made));
            EXPECT_EQ(AttributesOf(destination), normal);
        }
    }
}

}  // namespace
}  // namespace kolvane::platform
