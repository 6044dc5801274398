// One set of cases for every implementation of the file seam: the platform's own, and the
// checker's recording seam over it, which must answer as the real one would while it writes
// nothing. Paths are Windows paths below a fresh temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "check/dry_run_seams.h"
#include "platform_seams.h"
#include "support/caller.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

using testing::CallerTrace;
using testing::SourceLocation;

// The checker's recording seam over the platform's files.
class RecordingFilesSeam {
  public:
    static constexpr const char* kName = "RecordingFiles";

    explicit RecordingFilesSeam(const testing::TempDir& dir)
        : real_(dir), probe_(real_.MakeProbe()), recording_(real_.Get(), *probe_, log_) {}
    Files& Get() { return recording_; }
    std::string Root() const { return real_.Root(); }

  private:
    PlatformFiles real_;
    std::unique_ptr<check::DiskProbe> probe_;
    check::DryRunLog log_;
    check::RecordingFiles recording_;
};

struct SeamName {
    template <typename Seam>
    static std::string GetName(int) {
        return Seam::kName;
    }
};

constexpr FileTime kSomeTime = 0x01D5'1234'5678'9AB7ull;

template <typename Seam>
class FilesContract : public ::testing::Test {
  protected:
    FilesContract() : seam_(dir_), files_(seam_.Get()), root_(seam_.Root()) {
        dir_.Write("package.dat", "package");
    }

    // The Windows path of `relative` (backslashes), as the seam takes it.
    std::string At(const std::string& relative) const { return root_ + "\\" + relative; }

    // The whole file as the seam reads it, or "(none)" when it cannot.
    std::string Read(const std::string& relative) {
        std::string contents;
        return files_.ReadContents(At(relative), contents) ? contents : "(none)";
    }

    // The last-write time of an existing file, through the seam.
    FileTime TimeOf(const std::string& relative,
                    SourceLocation caller = SourceLocation::current()) {
        const CallerTrace trace(caller);
        const ScopedFile file(files_, At(relative));
        FileTime time = 0;
        EXPECT_TRUE(file.IsOpen() && files_.LastWriteTime(file.Get(), time)) << relative;
        return time;
    }

    // The names in the folder on the disk, which only the platform's own seam changes.
    std::vector<std::string> OnDisk() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    testing::TempDir dir_;
    Seam seam_;
    Files& files_;
    std::string root_;
};

using FileSeams = ::testing::Types<PlatformFiles, RecordingFilesSeam>;
TYPED_TEST_SUITE(FilesContract, FileSeams, SeamName);

// Windows compares file names without regard to the case of any letter of the code page: a file
// made under one spelling is read, replaced, copied onto and given attributes under the other.
TYPED_TEST(FilesContract, LetterCaseOfEveryWindows1252LetterIsIgnored) {
    std::vector<std::pair<char, char>> pairs = {{'K', 'k'},
                                                {'\x8A', '\x9A'},   // S caron
                                                {'\x8C', '\x9C'},   // OE
                                                {'\x8E', '\x9E'},   // Z caron
                                                {'\x9F', '\xFF'}};  // Y diaeresis
    for (int upper = 0xC0; upper <= 0xDE; ++upper) {                // Latin-1: A grave to thorn
        if (upper != 0xD7) {                                        // the multiplication sign
            pairs.emplace_back(static_cast<char>(upper), static_cast<char>(upper + 0x20));
        }
    }
    Files& files = this->files_;
    for (const auto& [upper, lower] : pairs) {
        SCOPED_TRACE(::testing::Message()
                     << "0x" << std::hex << static_cast<int>(static_cast<unsigned char>(upper)));
        const std::string big = std::string("f") + upper + ".txt";
        const std::string small = std::string("f") + lower + ".txt";
        ASSERT_TRUE(files.ReplaceContents(this->At(big), "one"));
        EXPECT_EQ(this->Read(small), "one");
        EXPECT_TRUE(files.ReplaceContents(this->At(small), "two"));
        EXPECT_EQ(this->Read(big), "two");
        EXPECT_TRUE(files.SetNormalAttributes(this->At(small)));

        const std::string folder = std::string("d") + upper;
        const std::string sameFolder = std::string("d") + lower;
        EXPECT_EQ(files.MakeDirectory(this->At(folder)), DirectoryResult::kCreated);
        EXPECT_EQ(files.MakeDirectory(this->At(sameFolder)), DirectoryResult::kAlreadyExists);
        EXPECT_TRUE(files.CopyFileOver(this->At("package.dat"), this->At(sameFolder + "\\" + big)));
        EXPECT_TRUE(files.CopyFileOver(this->At("package.dat"), this->At(folder + "\\" + small)));
        const ScopedFile copy(files, this->At(sameFolder + "\\" + small));
        EXPECT_TRUE(copy.IsOpen());
    }
}

TYPED_TEST(FilesContract, MissingFilesAndFoldersFailAndNothingIsMade) {
    this->dir_.Write("folder/inside.dat", "x");
    Files& files = this->files_;
    const std::vector<std::string> before = this->OnDisk();
    for (const char* notAFile : {"none.dat", "folder"}) {
        SCOPED_TRACE(notAFile);
        EXPECT_EQ(files.OpenForReading(this->At(notAFile)), kInvalidFile);
        EXPECT_EQ(this->Read(notAFile), "(none)");
    }
    EXPECT_FALSE(files.CopyFileOver(this->At("none.dat"), this->At("copy.dat")));
    EXPECT_EQ(this->Read("copy.dat"), "(none)");
    EXPECT_FALSE(files.CopyFileOver(this->At("package.dat"), this->At("folder")));
    EXPECT_FALSE(files.CopyFileOver(this->At("package.dat"), this->At("no\\copy.dat")));
    EXPECT_FALSE(files.ReplaceContents(this->At("folder"), "x"));
    EXPECT_FALSE(files.ReplaceContents(this->At("no\\new.txt"), "x"));
    EXPECT_FALSE(files.SetNormalAttributes(this->At("none.dat")));
    EXPECT_EQ(this->Read("no\\new.txt"), "(none)");
    EXPECT_EQ(this->OnDisk(), before) << "no file, folder or temporary file is left behind";
}

TYPED_TEST(FilesContract, MakeDirectoryTellsCreatedFromAlreadyThereFromFailed) {
    Files& files = this->files_;
    EXPECT_EQ(files.MakeDirectory(this->At("a")), DirectoryResult::kCreated);
    EXPECT_EQ(files.MakeDirectory(this->At("a")), DirectoryResult::kAlreadyExists);
    EXPECT_EQ(files.MakeDirectory(this->At("a\\b")), DirectoryResult::kCreated);
    EXPECT_EQ(files.MakeDirectory(this->At("package.dat")), DirectoryResult::kAlreadyExists)
        << "a file of that name counts as already there";
    EXPECT_EQ(files.MakeDirectory(this->At("x\\y")), DirectoryResult::kFailed) << "no parent";
    EXPECT_EQ(files.MakeDirectory(this->At("x")), DirectoryResult::kCreated);
}

// A failed write leaves the file as it was; a read-only file is replaced only once its
// attributes are normal again.
TYPED_TEST(FilesContract, AReadOnlyFileStaysAsItWasUntilItsAttributesAreNormal) {
    testing::MakeReadOnly(this->dir_.Write("locked.txt", "old"));
    Files& files = this->files_;
    const std::vector<std::string> before = this->OnDisk();
    EXPECT_FALSE(files.ReplaceContents(this->At("locked.txt"), "new"));
    EXPECT_FALSE(files.CopyFileOver(this->At("package.dat"), this->At("locked.txt")));
    EXPECT_EQ(this->Read("locked.txt"), "old");
    EXPECT_EQ(this->OnDisk(), before) << "no temporary file is left behind";

    EXPECT_TRUE(files.SetNormalAttributes(this->At("locked.txt")));
    EXPECT_TRUE(files.CopyFileOver(this->At("package.dat"), this->At("locked.txt")));
    EXPECT_EQ(this->Read("locked.txt"), "package");
    EXPECT_TRUE(files.ReplaceContents(this->At("locked.txt"), "new\r\n"));
    EXPECT_EQ(this->Read("locked.txt"), "new\r\n");
}

TYPED_TEST(FilesContract, CopyFileOverCarriesContentsAndLastWriteTime) {
    const std::string big(300000, 'b');
    const std::string source = this->dir_.Write("big.dat", big);
    testing::SetLastWriteTime(source, kSomeTime);
    this->dir_.Write("present.dat", "old");
    Files& files = this->files_;
    {
        const ScopedFile first(files, this->At("big.dat"));
        const ScopedFile second(files, this->At("big.dat"));
        EXPECT_TRUE(first.IsOpen() && second.IsOpen()) << "others may read at the same time";
    }
    EXPECT_EQ(this->TimeOf("big.dat"), kSomeTime);
    for (const char* target : {"new.dat", "present.dat"}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(files.CopyFileOver(this->At("big.dat"), this->At(target)));
        EXPECT_EQ(this->Read(target), big);
        EXPECT_EQ(this->TimeOf(target), kSomeTime);
    }
}

}  // namespace
}  // namespace kolvane::platform
