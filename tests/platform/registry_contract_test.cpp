// One set of cases for every implementation of the registry seam: the in-memory hive of the
// tests, and the platform's own (a Wine prefix's files on Linux, the registry itself on Windows).
// Each must answer as RegOpenKeyExA, RegQueryValueExA and RegCloseKey do.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/doubles/memory_registry.h"
#include "platform_seams.h"
#include "support/caller.h"

namespace kolvane::platform {
namespace {

using testing::CallerTrace;
using testing::SourceLocation;

class MemoryRegistrySeam {
  public:
    static constexpr const char* kName = "MemoryRegistry";

    Registry& Get() { return registry_; }
    void Set(const std::string& key, const std::string& name, std::uint32_t type,
             const std::string& bytes) {
        registry_.SetValue(key, name, type, bytes);
    }

  private:
    MemoryRegistry registry_;
};

struct SeamName {
    template <typename Seam>
    static std::string GetName(int) {
        return Seam::kName;
    }
};

constexpr const char* kKey = "Software\\KolvaneContract\\Level";
constexpr std::uint8_t kUntouched = 0xCC;

std::string Nul(const std::string& text) {
    return text + std::string(1, '\0');
}

// What one query answered. `buffer` holds the bytes the buffer had afterwards, and one more.
struct Answer {
    RegResult result = -1;
    std::uint32_t type = 0xDEAD;
    std::uint32_t size = 0;
    std::string buffer;

    std::string Stored() const {
        return buffer.substr(0, std::min<std::size_t>(size, buffer.size()));
    }
};

template <typename Seam>
class RegistryContract : public ::testing::Test {
  protected:
    // Opens `keyPath` below HKEY_CLASSES_ROOT, queries `name` through a buffer of `capacity`
    // bytes (none: a null buffer, a question for the size) and closes the key again.
    Answer Query(const std::string& keyPath, const std::string& name,
                 std::optional<std::uint32_t> capacity = 260,
                 SourceLocation caller = SourceLocation::current()) {
        const CallerTrace trace(caller);
        Answer answer;
        RegKey key = 0;
        answer.result = registry_.OpenKey(kClassesRoot, keyPath, kKeyRead, key);
        if (answer.result != kErrorSuccess) {
            return answer;
        }
        answer.buffer.assign(capacity.value_or(0) + 1, static_cast<char>(kUntouched));
        answer.size = capacity.value_or(0);
        auto* data = capacity ? reinterpret_cast<std::uint8_t*>(answer.buffer.data()) : nullptr;
        answer.result = registry_.QueryValue(key, name, answer.type, data, answer.size);
        EXPECT_EQ(registry_.CloseKey(key), kErrorSuccess);
        return answer;
    }

    Seam seam_;
    Registry& registry_ = seam_.Get();
};

using RegistrySeams = ::testing::Types<MemoryRegistrySeam, PlatformRegistry>;
TYPED_TEST_SUITE(RegistryContract, RegistrySeams, SeamName);

TYPED_TEST(RegistryContract, ValuesComeOutWithTheirTypeAndBytes) {
    struct Case {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    };
    const Case cases[] = {
        {"", kRegSz, Nul("the default value")},
        {"Path", kRegSz, Nul("C:\\Host\\")},
        {"Expand", kRegExpandSz, Nul("%Root%\\x")},
        {"Multi", kRegMultiSz, Nul(Nul(Nul("one") + "two"))},
        {"Number", kRegDword, std::string("\x2a\0\0\0", 4)},
        {"Blob", kRegBinary, "\x01\x02\xff"},
        {"Nothing", kRegBinary, ""},
    };
    for (const Case& c : cases) {
        this->seam_.Set(kKey, c.name, c.type, c.bytes);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer answer = this->Query(kKey, c.name);
        ASSERT_EQ(answer.result, kErrorSuccess);
        EXPECT_EQ(answer.type, c.type);
        EXPECT_EQ(answer.size, c.bytes.size());
        EXPECT_EQ(answer.Stored(), c.bytes);
    }
}

// A value longer than the buffer fails with ERROR_MORE_DATA and tells its type and the size it
// needs; a null buffer asks for them alone.
TYPED_TEST(RegistryContract, AValueThatDoesNotFitTellsTheSizeItNeeds) {
    this->seam_.Set(kKey, "Text", kRegSz, Nul("0123456789"));
    this->seam_.Set(kKey, "Number", kRegDword, std::string(4, '\1'));
    struct Case {
        const char* name;
        std::optional<std::uint32_t> capacity;
        RegResult result;
        std::uint32_t type;
        std::uint32_t size;
    };
    const Case cases[] = {
        {"Text", 11, kErrorSuccess, kRegSz, 11},
        {"Text", 10, kErrorMoreData, kRegSz, 11},
        {"Text", 0, kErrorMoreData, kRegSz, 11},
        {"Text", std::nullopt, kErrorSuccess, kRegSz, 11},
        {"Number", 3, kErrorMoreData, kRegDword, 4},
        {"Number", std::nullopt, kErrorSuccess, kRegDword, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " +
                     (c.capacity ? std::to_string(*c.capacity) + " bytes" : "no buffer"));
        const Answer answer = this->Query(kKey, c.name, c.capacity);
        EXPECT_EQ(answer.result, c.result);
        EXPECT_EQ(answer.type, c.type);
        EXPECT_EQ(answer.size, c.size);
    }
}

// Windows ends a string stored without its NUL when the buffer has room for one, and leaves
// every other value as stored.
TYPED_TEST(RegistryContract, AStringStoredWithoutItsNulIsEndedWhereThereIsRoom) {
    this->seam_.Set(kKey, "Unended", kRegSz, "AB");
    this->seam_.Set(kKey, "Empty", kRegSz, "");
    this->seam_.Set(kKey, "Blob", kRegBinary, "AB");
    struct Case {
        const char* name;
        std::uint32_t capacity;
        std::uint8_t after;  // the byte after the two stored ones
    };
    const Case cases[] = {{"Unended", 3, 0}, {"Unended", 2, kUntouched}, {"Blob", 3, kUntouched}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(c.capacity) + " bytes");
        const Answer answer = this->Query(kKey, c.name, c.capacity);
        ASSERT_EQ(answer.result, kErrorSuccess);
        EXPECT_EQ(answer.Stored(), "AB");
        EXPECT_EQ(static_cast<std::uint8_t>(answer.buffer[2]), c.after);
    }
    const Answer empty = this->Query(kKey, "Empty", 4);
    ASSERT_EQ(empty.result, kErrorSuccess);
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(static_cast<std::uint8_t>(empty.buffer[0]), kUntouched);
}

TYPED_TEST(RegistryContract, MissingKeysAndValuesAreNotFound) {
    this->seam_.Set(kKey, "Path", kRegSz, Nul("C:\\"));
    EXPECT_EQ(this->Query(kKey, "None").result, kErrorFileNotFound);
    EXPECT_EQ(this->Query("Software\\KolvaneContract", "Path").result, kErrorFileNotFound)
        << "a value of the key below";
    EXPECT_EQ(this->Query("Software\\KolvaneContract\\None", "Path").result, kErrorFileNotFound);
    EXPECT_EQ(this->Query(std::string(kKey) + "\\Deeper", "Path").result, kErrorFileNotFound);
}

TYPED_TEST(RegistryContract, KeyAndValueNamesIgnoreLetterCase) {
    this->seam_.Set(kKey, "AppPath", kRegSz, Nul("C:\\Host\\"));
    EXPECT_EQ(this->Query("SOFTWARE\\kolvanecontract\\lEVEL", "APPPATH").Stored(),
              Nul("C:\\Host\\"));

    // A path of several levels below a key that is open itself.
    Registry& registry = this->registry_;
    RegKey software = 0;
    RegKey level = 0;
    ASSERT_EQ(registry.OpenKey(kClassesRoot, "software", kKeyRead, software), kErrorSuccess);
    ASSERT_EQ(registry.OpenKey(software, "KOLVANECONTRACT\\Level", kKeyRead, level), kErrorSuccess);
    std::uint8_t buffer[16];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(registry.QueryValue(level, "apppath", type, buffer, size), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(level), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(software), kErrorSuccess);
}

TYPED_TEST(RegistryContract, AClosedKeyIsAnInvalidHandle) {
    this->seam_.Set(kKey, "Path", kRegSz, Nul("C:\\"));
    Registry& registry = this->registry_;
    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(kClassesRoot, kKey, kKeyRead, key), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);

    EXPECT_EQ(registry.CloseKey(key), kErrorInvalidHandle);
    std::uint8_t buffer[16];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(registry.QueryValue(key, "Path", type, buffer, size), kErrorInvalidHandle);
    RegKey below = 0;
    EXPECT_EQ(registry.OpenKey(key, "Below", kKeyRead, below), kErrorInvalidHandle);
}

}  // namespace
}  // namespace kolvane::platform
