#include "platform/win32/win32_registry.h"

#include <gtest/gtest.h>

#include "install/host_locator.h"
#include "platform/win32/windows_support.h"
#include "textures/registry_path.h"

namespace kolvane::platform {
namespace {

// Writes real registry keys for one test and removes them afterwards.
class RegistryFixture : public ::testing::Test {
  protected:
    ~RegistryFixture() override {
        for (const auto& [root, path] : created_) {
            ::RegDeleteTreeA(root, path.c_str());
        }
    }

    void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                  const std::string& bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        EXPECT_EQ(::RegSetValueExA(key, name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
        created_.emplace_back(root, path.substr(0, path.find('\\')));
    }

    // A REG_SZ with its terminating NUL.
    void SetString(HKEY root, const std::string& path, const std::string& name,
                   const std::string& text) {
        SetValue(root, path, name, REG_SZ, text + std::string(1, '\0'));
    }

    Win32Registry registry_;

  private:
    std::vector<std::pair<HKEY, std::string>> created_;
};

// The host lookup on the real class root, as the program performs it.
class RealHostLocatorTest : public RegistryFixture {
  protected:
    void SetAppPath(const std::string& product, const std::string& value) {
        SetString(HKEY_CLASSES_ROOT, "Software\\Tessaline\\" + product, "AppPath", value);
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "Software\\Tessaline"); }
    std::string Lookup() { return HostLocator(registry_).HostPath(); }
};

TEST_F(RealHostLocatorTest, FindsTheHostUnderEitherProductKey) {
    EXPECT_EQ(Lookup(), "") << "nothing registered";

    SetAppPath("QZ", "D:\\Qz\\Qz.exe");
    EXPECT_EQ(Lookup(), "D:\\Qz\\");

    SetAppPath("HMDX", "C:\\Programs\\Host");
    EXPECT_EQ(Lookup(), "C:\\Programs\\") << "HMDX comes first; the last component goes";
}

TEST_F(RealHostLocatorTest, AnHmdxKeyWithoutAppPathHidesQz) {
    SetAppPath("QZ", "D:\\Qz\\");
    SetString(HKEY_CLASSES_ROOT, "Software\\Tessaline\\HMDX", "ResBase", "C:\\Res");
    EXPECT_EQ(Lookup(), "");
}

TEST_F(RealHostLocatorTest, AcceptsAppPathUpTo259Characters) {
    const std::string directory = "C:\\" + std::string(254, 'h') + "\\";
    SetAppPath("HMDX", directory + "x");  // 259 characters
    EXPECT_EQ(Lookup(), directory);
    SetAppPath("HMDX", directory + "xy");  // 260 characters
    EXPECT_EQ(Lookup(), "");
}

// The texture catalogue's location on the real class root, with the value types Windows stores.
class RealCatalogLocationTest : public RealHostLocatorTest {
  protected:
    void SetResBase(const std::string& product, DWORD type, const std::string& bytes) {
        SetValue(HKEY_CLASSES_ROOT, "Software\\Tessaline\\" + product, "ResBase", type, bytes);
    }
};

TEST_F(RealCatalogLocationTest, TakesTheFirstStringValueOfHmdxThenQz) {
    const std::string nul(1, '\0');
    struct Case {
        const char* what;
        DWORD hmdxType;
        std::string hmdx;  // no HMDX value when empty
        std::string expected;
    };
    const Case cases[] = {
        {"only QZ", REG_SZ, "", "D:\\Qz\\Rezazerad\\Texturen.txt"},
        {"HMDX first", REG_SZ, "C:\\Res" + nul, "C:\\Res\\Rezazerad\\Texturen.txt"},
        {"a number falls through", REG_DWORD, std::string(4, '\1'),
         "D:\\Qz\\Rezazerad\\Texturen.txt"},
        {"not expanded", REG_EXPAND_SZ, "%HOST%\\Res" + nul,
         "%HOST%\\Res\\Rezazerad\\Texturen.txt"},
        {"first of several strings", REG_MULTI_SZ, "C:\\A" + nul + "C:\\B" + nul + nul,
         "C:\\A\\Rezazerad\\Texturen.txt"},
        {"too long", REG_SZ, "C:\\" + std::string(257, 'r') + nul,
         "D:\\Qz\\Rezazerad\\Texturen.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "Software\\Tessaline");
        SetResBase("QZ", REG_SZ, "D:\\Qz" + nul);
        if (!c.hmdx.empty()) {
            SetResBase("HMDX", c.hmdxType, c.hmdx);
        }
        EXPECT_EQ(LocateCatalog(registry_), c.expected);
    }
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "Software\\Tessaline");
    EXPECT_EQ(LocateCatalog(registry_), "") << "nothing registered";
}

}  // namespace
}  // namespace kolvane::platform
