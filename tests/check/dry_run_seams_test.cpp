#include "check/dry_run_seams.h"

#include <gtest/gtest.h>

#include "check_support.h"
#include "support/temp_dir.h"

namespace kolvane::check {
namespace {

using platform::DirectoryResult;

// The recording file seam over a real folder: what it made must read back as made, in the state
// a real run would have left, while the disk stays as it was.
class RecordingFilesTest : public ::testing::Test {
  protected:
    RecordingFilesTest() : recording_(*environment_.files, *environment_.probe, log_) {
        dir_.Write("src.dat", "package");
        dir_.Write("host/locked.dat", "locked");
        testing::MakeReadOnly(dir_.HostPath("host/locked.dat"));
    }
    std::string At(const std::string& relative) const { return dir_.WindowsPath(relative); }

    testing::TempDir dir_;
    testing::CheckEnvironment environment_;
    DryRunLog log_;
    RecordingFiles recording_;
};

TEST_F(RecordingFilesTest, WhatItMakesIsSeenByLaterCalls) {
    EXPECT_EQ(recording_.MakeDirectory(At("host/a/b")), DirectoryResult::kFailed);
    EXPECT_EQ(recording_.MakeDirectory(At("host/a")), DirectoryResult::kCreated);
    EXPECT_EQ(recording_.MakeDirectory(At("HOST/A")), DirectoryResult::kAlreadyExists);
    EXPECT_EQ(recording_.MakeDirectory(At("host/a/b")), DirectoryResult::kCreated);

    EXPECT_TRUE(recording_.CopyFileOver(At("src.dat"), At("host/a/b/copy.dat")));
    std::string contents;
    ASSERT_TRUE(recording_.ReadContents(At("host/a/b/copy.dat"), contents));
    EXPECT_EQ(contents, "package");
    {
        const platform::ScopedFile copy(recording_, At("host/a/b/copy.dat"));
        EXPECT_TRUE(copy.IsOpen());
    }
    EXPECT_EQ(recording_.MakeDirectory(At("host/a/b/copy.dat")), DirectoryResult::kAlreadyExists);
    EXPECT_FALSE(recording_.CopyFileOver(At("src.dat"), At("host/a")));  // a folder
    EXPECT_FALSE(recording_.CopyFileOver(At("src.dat"), At("host/none/x.dat")));
    EXPECT_FALSE(recording_.CopyFileOver(At("missing.dat"), At("host/x.dat")));

    EXPECT_TRUE(recording_.ReplaceContents(At("host/a/new.txt"), "written"));
    ASSERT_TRUE(recording_.ReadContents(At("host/a/new.txt"), contents));
    EXPECT_EQ(contents, "written");

    EXPECT_FALSE(dir_.Exists("host/a"));
}

TEST_F(RecordingFilesTest, ReadOnlyFilesRefuseUntilTheirFlagIsCleared) {
    EXPECT_FALSE(recording_.CopyFileOver(At("src.dat"), At("host/locked.dat")));
    EXPECT_FALSE(recording_.ReplaceContents(At("host/locked.dat"), "x"));
    EXPECT_TRUE(recording_.SetNormalAttributes(At("host/locked.dat")));
    EXPECT_TRUE(recording_.CopyFileOver(At("src.dat"), At("host/locked.dat")));
    EXPECT_TRUE(testing::IsReadOnly(dir_.HostPath("host/locked.dat")));
    EXPECT_EQ(dir_.Read("host/locked.dat"), "locked");

    std::vector<DryRunEvent::Kind> kinds;
    for (const DryRunEvent& event : log_) {
        kinds.push_back(event.kind);
    }
    using Kind = DryRunEvent::Kind;
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::kCopyFail, Kind::kWriteFail, Kind::kAttributes,
                                        Kind::kCopy}));
    EXPECT_TRUE(log_.back().replaced);
}

}  // namespace
}  // namespace kolvane::check
