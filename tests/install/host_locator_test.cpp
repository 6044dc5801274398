#include "install/host_locator.h"

#include <gtest/gtest.h>

#include "platform/doubles/memory_registry.h"

namespace kolvane {
namespace {

using platform::MemoryRegistry;
using Keys = std::vector<std::string>;

constexpr const char* kHmdx = "Software\\Tessaline\\HMDX";
constexpr const char* kQz = "Software\\Tessaline\\QZ";

std::string LocatedPath(MemoryRegistry& registry) {
    HostLocator locator(registry);
    EXPECT_TRUE(registry.Balanced()) << "every key opened is closed once";
    EXPECT_EQ(locator.HostFound(), !locator.HostPath().empty());
    return locator.HostPath();
}

TEST(HostLocatorTest, PrefersHmdxAndNeverConsultsQzOnceHmdxOpened) {
    MemoryRegistry registry;
    registry.SetString(kHmdx, "AppPath", "C:\\Halmdor\\Halmdor.exe");
    registry.SetString(kQz, "AppPath", "D:\\Other\\Q.exe");
    EXPECT_EQ(LocatedPath(registry), "C:\\Halmdor\\");
    EXPECT_EQ(registry.AttemptedKeys(), (Keys{"Software", "Software\\Tessaline", kHmdx}));
    EXPECT_EQ(registry.ClosedKeys(), (Keys{"Software", "Software\\Tessaline", kHmdx}));
}

TEST(HostLocatorTest, HmdxWithoutAppPathMeansNoHost) {
    MemoryRegistry registry;
    registry.AddKey(kHmdx);
    registry.SetString(kQz, "AppPath", "D:\\Other\\Q.exe");
    EXPECT_EQ(LocatedPath(registry), "");
    EXPECT_EQ(registry.AttemptedKeys().back(), kHmdx);
}

TEST(HostLocatorTest, FallsBackToQzWhenHmdxCannotBeOpened) {
    {
        MemoryRegistry registry;
        registry.SetString(kQz, "AppPath", "D:\\Other\\Q.exe");
        EXPECT_EQ(LocatedPath(registry), "D:\\Other\\");
    }
    {
        MemoryRegistry registry;
        registry.SetString(kHmdx, "AppPath", "C:\\Halmdor\\Halmdor.exe");
        registry.DenyAccess(kHmdx);
        registry.SetString(kQz, "AppPath", "D:\\Other\\Q.exe");
        EXPECT_EQ(LocatedPath(registry), "D:\\Other\\");
    }
}

TEST(HostLocatorTest, FindsNoHostWhenAKeyOnTheWayIsMissing) {
    MemoryRegistry empty;
    EXPECT_EQ(LocatedPath(empty), "");

    MemoryRegistry noMaker;
    noMaker.SetString("Software\\Elsewhere\\HMDX", "AppPath", "C:\\Host\\");
    EXPECT_EQ(LocatedPath(noMaker), "");

    MemoryRegistry noProduct;
    noProduct.SetString("Software\\Tessaline\\Other", "AppPath", "C:\\Host\\");
    EXPECT_EQ(LocatedPath(noProduct), "");
    EXPECT_EQ(noProduct.OpenedKeys(), (Keys{"Software", "Software\\Tessaline"}));

    MemoryRegistry deniedMaker;
    deniedMaker.SetString(kHmdx, "AppPath", "C:\\Host\\");
    deniedMaker.DenyAccess("Software\\Tessaline");
    EXPECT_EQ(LocatedPath(deniedMaker), "");
}

TEST(HostLocatorTest, AcceptsAValueOfAtMost260BytesWithItsNul) {
    const std::string base = "C:\\";
    const std::string fits = base + std::string(259 - base.size() - 1, 'a') + "\\";
    ASSERT_EQ(fits.size(), 259u);
    MemoryRegistry accepted;
    accepted.SetString(kHmdx, "AppPath", fits);
    EXPECT_EQ(LocatedPath(accepted), fits);

    const std::string tooLong = fits + "b";
    MemoryRegistry rejected;
    rejected.SetString(kHmdx, "AppPath", tooLong);
    EXPECT_EQ(LocatedPath(rejected), "");
}

TEST(HostLocatorTest, KeepsTheValueUpToItsLastBackslash) {
    const struct {
        const char* value;
        const char* hostPath;
    } cases[] = {
        {"C:\\Programs\\Host\\", "C:\\Programs\\Host\\"},
        {"C:\\Programs\\Host\\Host.exe", "C:\\Programs\\Host\\"},
        {"C:\\Programs\\Host", "C:\\Programs\\"},
        {"C:\\", "C:\\"},
        {"Host.exe", ""},  // no backslash names no directory
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        MemoryRegistry registry;
        registry.SetString(kHmdx, "AppPath", c.value);
        EXPECT_EQ(LocatedPath(registry), c.hostPath);
    }
}

TEST(HostLocatorTest, IgnoresTheValueTypeAndEndsTheTextAtItsFirstNul) {
    MemoryRegistry binary;
    binary.SetValue(kHmdx, "AppPath", platform::kRegBinary,
                    std::string("C:\\Host\\a.exe\0D:\\x\\", 19));
    EXPECT_EQ(LocatedPath(binary), "C:\\Host\\");

    MemoryRegistry unterminated;
    unterminated.SetValue(kHmdx, "AppPath", platform::kRegSz, "C:\\Host\\");
    EXPECT_EQ(LocatedPath(unterminated), "C:\\Host\\");

    MemoryRegistry full;  // 260 bytes and no NUL among them: too long, as its NUL does not fit
    const std::string exact = "C:\\" + std::string(256, 'a') + "\\";
    full.SetValue(kHmdx, "AppPath", platform::kRegSz, exact);
    EXPECT_EQ(LocatedPath(full), "");
}

TEST(HostLocatorTest, LooksUpAgainEachTime) {
    MemoryRegistry registry;
    EXPECT_EQ(LocatedPath(registry), "");
    registry.SetString(kQz, "AppPath", "E:\\Host\\");
    EXPECT_EQ(LocatedPath(registry), "E:\\Host\\");
}

}  // namespace
}  // namespace kolvane
