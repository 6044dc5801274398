// What every real implementation of the file seam promises about links, claims and sound
// writes: run against the platform's own implementation.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class FilesContractTest : public ::testing::Test {
  protected:
    ~FilesContractTest() override {
        for (const std::string& link : links_) {
            testing::RemoveSymlink(link);
        }
    }

    std::string At(const std::string& relative) const { return dir_.WindowsPath(relative); }
    std::string Host(const std::string& relative) const { return dir_.HostPath(relative); }

    bool Link(const std::string& target, const std::string& link) {
        links_.push_back(Host(link));
        return testing::MakeSymlink(Host(target), Host(link));
    }

    // The names in a folder: a write must leave nothing of its own beside its target.
    std::size_t EntriesIn(const std::string& relative) const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(Host(relative)), fs::directory_iterator()));
    }

    testing::TempDir dir_;
    std::vector<std::string> links_;
    std::unique_ptr<Files> files_ = testing::MakeRealFiles();
    std::unique_ptr<Files> otherRun_ = testing::MakeRealFiles();
};

TEST_F(FilesContractTest, LocatesPathsWhereTheirLinksLead) {
    dir_.Write("pkg/a.dat", "a");
    dir_.Write("pkg/sub/b.dat", "b");
    dir_.Write("pkg2/c.dat", "c");
    dir_.Write("out/secret.dat", "s");
    dir_.Write("out/dir/x.dat", "x");
    fs::create_directories(Host("host"));
    if (!Link("out/secret.dat", "pkg/toSecret.dat") || !Link("out/dir", "pkg/toOut") ||
        !Link("pkg/sub", "pkg/inner") || !Link("pkg", "host/toPkg")) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    struct Case {
        const char* path;
        Location expected;
    };
    const Case cases[] = {
        {"pkg\\a.dat", Location::kInside},
        {"pkg", Location::kInside},
        {"pkg\\missing.dat", Location::kInside},
        {"pkg\\new\\deeper\\x.dat", Location::kInside},
        {"pkg\\inner\\b.dat", Location::kInside},
        {"pkg\\toSecret.dat", Location::kOutside},
        {"pkg\\toOut\\x.dat", Location::kOutside},
        {"pkg\\toOut\\missing.dat", Location::kOutside},
        {"pkg\\..\\out\\secret.dat", Location::kOutside},
        {"pkg2\\c.dat", Location::kOutside},
        {"host\\toPkg\\a.dat", Location::kInside},
        {"host\\toPkg\\new.dat", Location::kInside},
        {"host\\new.dat", Location::kOutside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(files_->LocateIn(At(c.path), At("pkg")), c.expected);
    }
    EXPECT_EQ(files_->LocateIn(At("pkg\\a.dat"), At("none")), Location::kUnknown)
        << "a folder that is not there";
}

TEST_F(FilesContractTest, AClaimShutsOutEveryOtherUntilItIsGivenUp) {
    dir_.Write("cat.txt", "catalogue");
    FileHandle first = kInvalidFile;
    ASSERT_EQ(files_->ClaimForUpdate(At("cat.txt"), milliseconds(0), first), ClaimResult::kClaimed);
    {
        const ScopedClaim waiting(*otherRun_, At("cat.txt"), milliseconds(300));
        EXPECT_EQ(waiting.Result(), ClaimResult::kBusy);
    }
    std::string contents;
    EXPECT_TRUE(otherRun_->ReadContents(At("cat.txt"), contents)) << "reading stays free";
    EXPECT_EQ(contents, "catalogue");
    files_->CloseFile(first);
    {
        const ScopedClaim next(*otherRun_, At("cat.txt"), milliseconds(0));
        EXPECT_EQ(next.Result(), ClaimResult::kClaimed);
    }
    const ScopedClaim missing(*files_, At("none.txt"), milliseconds(0));
    EXPECT_EQ(missing.Result(), ClaimResult::kFailed);
}

// Another program (not a run of ours) changes the claimed file between the load and the
// write-back: the write-back must not overwrite that. (Windows and Wine let no file be renamed
// over one that is open; there only the rewrite can happen.)
TEST_F(FilesContractTest, AClaimedFileIsReplacedOnlyWhileItIsAsClaimed) {
    struct Case {
        const char* name;
        bool (*change)(const testing::TempDir& dir);  // false: the platform did not let it
    };
    const Case cases[] = {
        {"unchanged", [](const testing::TempDir&) { return false; }},
        {"rewritten in place",
         [](const testing::TempDir& dir) {
             dir.Write("d/cat.txt", "other program");
             return true;
         }},
        {"replaced by another file",
         [](const testing::TempDir& dir) {
             dir.Write("e/new.txt", "other program");
             std::error_code error;
             fs::rename(dir.HostPath("e/new.txt"), dir.HostPath("d/cat.txt"), error);
             return !error;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.Write("d/cat.txt", "loaded");
        const ScopedClaim claim(*files_, At("d\\cat.txt"), milliseconds(0));
        ASSERT_EQ(claim.Result(), ClaimResult::kClaimed);
        const bool changed = c.change(dir_);
        EXPECT_EQ(files_->ReplaceContents(At("d\\cat.txt"), "written back"), !changed);
        EXPECT_EQ(dir_.Read("d/cat.txt"), changed ? "other program" : "written back");
        EXPECT_EQ(EntriesIn("d"), 1u) << "no temporary file is left behind";
    }
}

TEST_F(FilesContractTest, WritesThroughSymbolicLinksAndKeepsThem) {
    dir_.Write("shared/cat.txt", "old catalogue");
    dir_.Write("shared/model.dat", "old model");
    dir_.Write("pkg/model.dat", "new model");
    fs::create_directories(Host("host"));
    if (!Link("shared/cat.txt", "host/cat.txt") || !Link("shared/model.dat", "host/model.dat")) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }

    const ScopedClaim claim(*files_, At("host\\cat.txt"), milliseconds(0));
    ASSERT_EQ(claim.Result(), ClaimResult::kClaimed);
    EXPECT_TRUE(files_->ReplaceContents(At("host\\cat.txt"), "new catalogue"));
    EXPECT_TRUE(files_->CopyFileOver(At("pkg\\model.dat"), At("host\\model.dat")));
    EXPECT_EQ(dir_.Read("shared/cat.txt"), "new catalogue");
    EXPECT_EQ(dir_.Read("shared/model.dat"), "new model");
    for (const char* name : {"cat.txt", "model.dat"}) {
        SCOPED_TRACE(name);
        dir_.Write(std::string("shared/") + name, "through the link");
        EXPECT_EQ(dir_.Read(std::string("host/") + name), "through the link") << "the link stays";
    }
    EXPECT_EQ(EntriesIn("shared"), 2u) << "no temporary file is left behind";
    EXPECT_EQ(EntriesIn("host"), 2u);
}

TEST_F(FilesContractTest, AFileWithSeveralNamesIsWrittenInPlace) {
    dir_.Write("pkg/model.dat", std::string(70000, 'n'));
    dir_.Write("host/model.dat", "old model");
    dir_.Write("host/cat.txt", "old catalogue");
    ASSERT_TRUE(testing::MakeHardLink(Host("host/model.dat"), Host("host/model2.dat")));
    ASSERT_TRUE(testing::MakeHardLink(Host("host/cat.txt"), Host("host/cat2.txt")));

    EXPECT_TRUE(files_->CopyFileOver(At("pkg\\model.dat"), At("host\\model.dat")));
    const ScopedClaim claim(*files_, At("host\\cat.txt"), milliseconds(0));
    EXPECT_TRUE(files_->ReplaceContents(At("host\\cat.txt"), "new"));
    EXPECT_EQ(dir_.Read("host/model2.dat"), std::string(70000, 'n')) << "every name sees it";
    EXPECT_EQ(dir_.Read("host/cat2.txt"), "new");
    EXPECT_EQ(testing::GetLastWriteTime(Host("host/model2.dat")),
              testing::GetLastWriteTime(Host("pkg/model.dat")));
    EXPECT_EQ(EntriesIn("host"), 4u) << "no temporary file is left behind";
}

}  // namespace
}  // namespace kolvane::platform
