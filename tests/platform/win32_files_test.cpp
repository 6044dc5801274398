#include "platform/win32/win32_files.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST_F(Win32FilesTest, ADestinationInUseIsNotReplaced) {
    dir_.Write("src.dat", "new");
    dir_.Write("dst.dat", "good");
    // Another program holds the file open and lets nobody delete or rename it.
    win32::ScopedFileHandle holder(::CreateFileA(Path("dst.dat").c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                                 nullptr));
    ASSERT_TRUE(holder.IsValid());
    EXPECT_FALSE(files_.CopyFileOver(Path("src.dat"), Path("dst.dat")));
    holder.Close();
    EXPECT_EQ(dir_.Read("dst.dat"), "good");
    EXPECT_EQ(EntriesIn(""), 2u) << "no temporary file is left behind";
}

TEST_F(Win32FilesTest, ReplacesContentsKeepingAttributes) {
    dir_.Write("cat.txt", "old");
    ASSERT_NE(::SetFileAttributesA(Path("cat.txt").c_str(), FILE_ATTRIBUTE_HIDDEN), 0);
    EXPECT_TRUE(files_.ReplaceContents(Path("cat.txt"), "new\r\n"));
    EXPECT_EQ(dir_.Read("cat.txt"), "new\r\n");
    EXPECT_NE(AttributesOf("cat.txt") & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(EntriesIn(""), 1u) << "no temporary file is left behind";
}

}  // namespace
}  // namespace kolvane::platform
