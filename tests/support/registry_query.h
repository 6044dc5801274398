#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/registry.h"
#include "support/caller.h"

namespace kolvane::testing {

// What one query of a value answered.
struct Queried {
    platform::RegResult result = -1;  // of opening the key, or of the query
    std::uint32_t type = 0xDEAD;
    std::uint32_t size = 0;
    std::string bytes;   // the bytes stored, after a successful query into a buffer
    std::string buffer;  // the whole buffer afterwards, and the byte after it
};

// The buffer's bytes before a query.
inline constexpr std::uint8_t kUntouched = 0xCC;

// `text` with the NUL that ends a string value.
inline std::string Nul(const std::string& text) {
    return text + std::string(1, '\0');
}

// Opens `keyPath` below HKEY_CLASSES_ROOT, queries `name` the way RegQueryValueExA is called,
// through a buffer of `capacity` bytes (none: a null buffer, a question for the size alone), and
// closes the key again.
inline Queried Query(platform::Registry& registry, const std::string& keyPath,
                     const std::string& name, std::optional<std::uint32_t> capacity = 260,
                     SourceLocation caller = SourceLocation::current()) {
    const CallerTrace trace(caller);
    Queried queried;
    platform::RegKey key = 0;
    queried.result = registry.OpenKey(platform::kClassesRoot, keyPath, platform::kKeyRead, key);
    if (queried.result != platform::kErrorSuccess) {
        return queried;
    }
    queried.buffer.assign(capacity.value_or(0) + 1, static_cast<char>(kUntouched));
    queried.size = capacity.value_or(0);
    auto* data = capacity ? reinterpret_cast<std::uint8_t*>(queried.buffer.data()) : nullptr;
    queried.result = registry.QueryValue(key, name, queried.type, data, queried.size);
    EXPECT_EQ(registry.CloseKey(key), platform::kErrorSuccess);
    if (queried.result == platform::kErrorSuccess && capacity) {
        queried.bytes = queried.buffer.substr(0, queried.size);
    }
    return queried;
}

}  // namespace kolvane::testing
