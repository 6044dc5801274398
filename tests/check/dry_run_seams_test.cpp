#include "check/dry_run_seams.h"

#include <gtest/gtest.h>

#include "check_support.h"
#include "support/temp_dir.h"

namespace kolvane::check {
namespace {

using platform::DirectoryResult;

// The recording file seam over a real folder.
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

// How it answers is the file contract's (tests/platform/files_contract_test.cpp); here, what it
// writes down and that none of it reaches the disk.
TEST_F(RecordingFilesTest, RecordsEveryChangeAndMakesNone) {
    EXPECT_EQ(recording_.MakeDirectory(At("host/a")), DirectoryResult::kCreated);
    EXPECT_FALSE(recording_.CopyFileOver(At("src.dat"), At("host/locked.dat")));
    EXPECT_FALSE(recording_.ReplaceContents(At("host/locked.dat"), "x"));
    EXPECT_TRUE(recording_.SetNormalAttributes(At("host/locked.dat")));
    EXPECT_TRUE(recording_.CopyFileOver(At("src.dat"), At("host/locked.dat")));
    EXPECT_TRUE(recording_.ReplaceContents(At("host/a/new.txt"), "written"));

    std::vector<DryRunEvent::Kind> kinds;
    for (const DryRunEvent& event : log_) {
        kinds.push_back(event.kind);
    }
    using Kind = DryRunEvent::Kind;
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::kDirectory, Kind::kCopyFail, Kind::kWriteFail,
                                        Kind::kAttributes, Kind::kCopy, Kind::kWrite}));
    EXPECT_TRUE(log_[4].replaced);
    EXPECT_EQ(log_[5].contents, "written");

    EXPECT_FALSE(dir_.Exists("host/a"));
    EXPECT_TRUE(testing::IsReadOnly(dir_.HostPath("host/locked.dat")));
    EXPECT_EQ(dir_.Read("host/locked.dat"), "locked");
}

}  // namespace
}  // namespace kolvane::check
