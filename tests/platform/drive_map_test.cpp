#include "platform/posix/drive_map.h"

#include <gtest/gtest.h>

namespace kolvane::platform {
namespace {

DriveMap WineLike() {
    DriveMap drives;
    drives.Assign('C', "/home/user/.wine/drive_c/");
    drives.Assign('z', "/");
    return drives;
}

TEST(DriveMapTest, MapsDriveAndSeparators) {
    const DriveMap drives = WineLike();
    EXPECT_EQ(drives.ToNativePath("C:\\Host\\Sub\\a.dat"),
              "/home/user/.wine/drive_c/Host/Sub/a.dat");
    EXPECT_EQ(drives.ToNativePath("c:\\Host"), "/home/user/.wine/drive_c/Host");
    EXPECT_EQ(drives.ToNativePath("C:"), "/home/user/.wine/drive_c");
    EXPECT_EQ(drives.ToNativePath("Z:\\tmp\\x"), "/tmp/x");
    EXPECT_EQ(drives.ToNativePath("Z:\\"), "/");
    EXPECT_EQ(drives.ToNativePath("Z:"), "/");
}

TEST(DriveMapTest, RejectsPathsOnNoKnownDrive) {
    const DriveMap drives = WineLike();
    EXPECT_EQ(drives.ToNativePath("D:\\x"), std::nullopt);
    EXPECT_EQ(drives.ToNativePath("C:relative"), std::nullopt);
    EXPECT_EQ(drives.ToNativePath("\\\\server\\share"), std::nullopt);
    EXPECT_EQ(drives.ToNativePath("relative\\x"), std::nullopt);
    EXPECT_EQ(drives.ToNativePath(""), std::nullopt);
}

TEST(DriveMapTest, NamesNativePathsThroughTheNarrowestDrive) {
    const DriveMap drives = WineLike();
    EXPECT_EQ(drives.ToWindowsPath("/home/user/.wine/drive_c/Host/a"), "C:\\Host\\a");
    EXPECT_EQ(drives.ToWindowsPath("/home/user/.wine/drive_c"), "C:\\");
    EXPECT_EQ(drives.ToWindowsPath("/home/user/.wine/drive_cx/a"),
              "Z:\\home\\user\\.wine\\drive_cx\\a");
    EXPECT_EQ(drives.ToWindowsPath("/tmp/pkg"), "Z:\\tmp\\pkg");
    DriveMap onlyC;
    onlyC.Assign('c', "/srv/c");
    EXPECT_EQ(onlyC.ToWindowsPath("/tmp/pkg"), std::nullopt);
}

}  // namespace
}  // namespace kolvane::platform
