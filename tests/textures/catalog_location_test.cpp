#include <gtest/gtest.h>

#include "platform/doubles/memory_registry.h"
#include "textures/registry_path.h"

namespace kolvane {
namespace {

using platform::MemoryRegistry;
using Keys = std::vector<std::string>;

constexpr const char* kHmdx = "Software\\Tessaline\\HMDX";
constexpr const char* kQz = "Software\\Tessaline\\QZ";
constexpr const char* kTail = "\\Rezazerad\\Texturen.txt";

std::string Located(MemoryRegistry& registry) {
    const std::string path = LocateCatalog(registry);
    EXPECT_TRUE(registry.Balanced()) << "every key opened is closed once";
    return path;
}

TEST(LocateCatalogTest, BuildsThePathFromOnlyQz) {
    MemoryRegistry registry;
    registry.SetString(kQz, "ResBase", "C:\\Host\\Res");
    EXPECT_EQ(Located(registry), "C:\\Host\\Res\\Rezazerad\\Texturen.txt");
}

TEST(LocateCatalogTest, PrefersHmdxAndNeverOpensQz) {
    MemoryRegistry registry;
    registry.SetString(kHmdx, "ResBase", "C:\\Hmdx");
    registry.SetString(kQz, "ResBase", "D:\\Qz");
    EXPECT_EQ(Located(registry), std::string("C:\\Hmdx") + kTail);
    EXPECT_EQ(registry.AttemptedKeys(), (Keys{"Software", "Software\\Tessaline", kHmdx}));
    EXPECT_EQ(registry.ClosedKeys(), (Keys{kHmdx, "Software\\Tessaline", "Software"}))
        << "closed deepest first";
}

TEST(LocateCatalogTest, FallsThroughToQzWhateverFailsUnderHmdx) {
    struct Case {
        const char* name;
        void (*setUp)(MemoryRegistry&);
    };
    const Case cases[] = {
        {"REG_DWORD",
         [](MemoryRegistry& r) {
             r.SetValue(kHmdx, "ResBase", platform::kRegDword, std::string("\x01\0\0\0", 4));
         }},
        {"REG_BINARY",
         [](MemoryRegistry& r) {
             r.SetValue(kHmdx, "ResBase", platform::kRegBinary, std::string("C:\\Bin\0", 7));
         }},
        {"no value", [](MemoryRegistry& r) { r.SetString(kHmdx, "AppPath", "C:\\H\\H.exe"); }},
        {"access denied",
         [](MemoryRegistry& r) {
             r.SetString(kHmdx, "ResBase", "C:\\Hmdx");
             r.DenyAccess(kHmdx);
         }},
        {"too long",
         [](MemoryRegistry& r) { r.SetString(kHmdx, "ResBase", std::string(260, 'a')); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRegistry registry;
        c.setUp(registry);
        registry.SetString(kQz, "ResBase", "D:\\Qz");
        EXPECT_EQ(Located(registry), std::string("D:\\Qz") + kTail);
    }
}

TEST(LocateCatalogTest, GivesAnEmptyPathWithoutAnyResBase) {
    MemoryRegistry nothing;
    EXPECT_EQ(Located(nothing), "");

    MemoryRegistry bothWrong;
    bothWrong.SetValue(kHmdx, "ResBase", platform::kRegDword, std::string(4, '\0'));
    bothWrong.SetString(kQz, "AppPath", "D:\\Qz\\Q.exe");
    EXPECT_EQ(Located(bothWrong), "");
    EXPECT_EQ(bothWrong.OpenedKeys().back(), kQz);
}

TEST(LocateCatalogTest, TakesTheValueAsStored) {
    struct Case {
        const char* name;
        std::uint32_t type;
        std::string bytes;
        std::string expected;  // the ResBase, or "-" for none
    };
    const Case cases[] = {
        {"unexpanded", platform::kRegExpandSz, std::string("%HOST%\\Res\0", 11), "%HOST%\\Res"},
        {"first of several", platform::kRegMultiSz, std::string("C:\\A\0C:\\B\0\0", 11), "C:\\A"},
        {"trailing backslash doubles", platform::kRegSz, std::string("C:\\R\\\0", 6), "C:\\R\\"},
        {"no NUL stored", platform::kRegSz, "C:\\Raw", "C:\\Raw"},
        {"259 bytes and NUL fit", platform::kRegSz, std::string(259, 'b') + '\0',
         std::string(259, 'b')},
        {"259 bytes without NUL", platform::kRegSz, std::string(259, 'c'), std::string(259, 'c')},
        {"260 bytes without NUL", platform::kRegSz, std::string(260, 'd'), "-"},
        {"260 bytes and NUL", platform::kRegSz, std::string(260, 'e') + '\0', "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRegistry registry;
        registry.SetValue(kHmdx, "ResBase", c.type, c.bytes);
        std::string resourceBase = "untouched";
        const bool found = ReadResourceBase(registry, "HMDX", resourceBase);
        EXPECT_TRUE(registry.Balanced());
        if (c.expected == "-") {
            EXPECT_FALSE(found);
            EXPECT_EQ(LocateCatalog(registry), "");
        } else {
            EXPECT_TRUE(found);
            EXPECT_EQ(resourceBase, c.expected);
            EXPECT_EQ(LocateCatalog(registry), c.expected + kTail);
        }
    }
}

TEST(RegistryPathTest, ClosesWhatItOpenedOnEveryPath) {
    MemoryRegistry registry;
    registry.AddKey("Software\\Tessaline");
    registry.SetString(kQz, "ResBase", "D:\\Qz");
    const std::string names[] = {"Software", "Tessaline", "HMDX"};
    {
        RegistryPath path(registry);
        ASSERT_TRUE(path.SetPath(platform::kClassesRoot, names, 3));
        EXPECT_FALSE(path.Open(platform::kKeyRead)) << "HMDX is missing";
        EXPECT_FALSE(path.IsOpen());
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << "the levels opened on the way are closed";
        EXPECT_EQ(registry.ClosedKeys(), (Keys{"Software\\Tessaline", "Software"}));

        ASSERT_TRUE(path.SetPath(platform::kClassesRoot, names, 2));
        ASSERT_TRUE(path.Open(platform::kKeyRead));
        EXPECT_EQ(registry.OpenKeyCount(), 2u);
        ASSERT_TRUE(path.Open(platform::kKeyRead)) << "reopening closes first";
        EXPECT_EQ(registry.OpenKeyCount(), 2u);
        std::string value;
        EXPECT_FALSE(path.ReadString("ResBase", value)) << "no such value at this level";
    }
    EXPECT_TRUE(registry.Balanced()) << "destruction closes the rest";

    RegistryPath path(registry);
    const std::string qz[] = {"Software", "Tessaline", "QZ"};
    ASSERT_TRUE(path.SetPath(platform::kClassesRoot, qz, 3));
    ASSERT_TRUE(path.Open(platform::kKeyRead));
    ASSERT_TRUE(path.SetPath(platform::kClassesRoot, qz, 3)) << "a new path closes the old keys";
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
    EXPECT_FALSE(path.IsOpen());
    std::string value;
    EXPECT_FALSE(path.ReadString("ResBase", value)) << "nothing is read unless open";
}

TEST(RegistryPathTest, RefusesRootsOutsideThePredefinedOnesAndAnEmptyPath) {
    MemoryRegistry registry;
    const std::string names[] = {"Software"};
    RegistryPath path(registry);
    EXPECT_FALSE(path.Open(platform::kKeyRead)) << "no names stored";
    EXPECT_FALSE(path.SetPath(platform::kClassesRoot - 1, names, 1));
    EXPECT_FALSE(path.SetPath(platform::kDynData + 1, names, 1));
    EXPECT_FALSE(path.Open(platform::kKeyRead)) << "a refused path stores no names";
    EXPECT_TRUE(path.SetPath(platform::kDynData, names, 1));
    EXPECT_TRUE(path.SetPath(platform::kClassesRoot, names, 0));
    EXPECT_FALSE(path.Open(platform::kKeyRead));
    EXPECT_TRUE(registry.AttemptedKeys().empty());
}

}  // namespace
}  // namespace kolvane
