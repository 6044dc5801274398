#include <gtest/gtest.h>

#include "check_support.h"
#include "platform/posix/posix_disk_probe.h"
#include "support/temp_dir.h"

namespace kolvane::check {
namespace {

using testing::CheckEnvironment;

// A host directly in a drive's root, as a drive of its own.
TEST(DryRunAtDriveRoot, DestinationBesideTheRootIsAnError) {
    testing::TempDir dir;
    dir.Write("pkg/a.dat", "a");
    dir.Write("pkg/InstSkript.txt",
              "Dateinstallation{{a.dat>>a.dat}{a.dat>>Sub\\a.dat}}Texturskript{}");
    dir.Write("drive/keep.txt", "");
    dir.Write("res/Rezazerad/Texturen.txt", "");
    platform::DriveMap drives;
    drives.Assign('z', "/");
    drives.Assign('r', dir.HostPath("drive"));
    auto files = std::make_unique<platform::PosixFiles>(std::move(drives));
    auto probe = std::make_unique<platform::PosixDiskProbe>(*files);
    CheckEnvironment environment(std::move(files), std::move(probe));
    platform::MemoryRegistry registry;
    registry.SetString("Software\\Tessaline\\HMDX", "AppPath", "R:\\Host.exe");
    registry.SetString("Software\\Tessaline\\HMDX", "ResBase", dir.WindowsPath("res"));

    const Report report = environment.Check(dir.WindowsPath("pkg"), registry);
    ASSERT_EQ(report.plan.size(), 2u);
    EXPECT_EQ(report.plan[0].action, "fail");
    EXPECT_EQ(report.plan[1].action, "create");
    EXPECT_EQ(testing::Keys(report),
              (std::vector<testing::FindingKey>{{Severity::kWarning, 1, "section-empty"},
                                                {Severity::kError, 1, "destination-root"}}));
}

}  // namespace
}  // namespace kolvane::check
