// Arbitrary bytes as a Wine registry file: parsed on their own and behind Wine's header, merged
// twice to the same tree, then read back key by key and value by value through the prefix
// registry, which must hand out every value the way RegQueryValueExA does.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "names/windows_text.h"
#include "platform/posix/wine_registry.h"

namespace {

using namespace kolvane::platform;

constexpr std::u16string_view kClasses = u"Software\\Classes";

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameTree(const RegistryNode& a, const RegistryNode& b) {
    if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) {
        return false;
    }
    for (const auto& [name, value] : a.values) {
        const auto other = b.values.find(name);
        if (other == b.values.end() || other->second.type != value.type ||
            other->second.data != value.data) {
            return false;
        }
    }
    for (const auto& [name, key] : a.subkeys) {
        const auto other = b.subkeys.find(name);
        if (other == b.subkeys.end() || !SameTree(*key, *other->second)) {
            return false;
        }
    }
    return true;
}

// A folded name in Windows-1252, as the core would ask for it; none when the code page cannot
// write it.
std::optional<std::string> Ansi(const std::u16string& name) {
    std::string ansi;
    for (char16_t unit : name) {
        const std::optional<unsigned char> byte = kolvane::names::Utf16ToWindows1252(unit);
        if (!byte) {
            return std::nullopt;
        }
        ansi += static_cast<char>(*byte);
    }
    return ansi;
}

// Opens every key of `node` below `key` and queries every value with a buffer of the
// core's size, of exactly the size asked for, and one byte short of it.
void ReadBack(WinePrefixRegistry& registry, RegKey key, const RegistryNode& node) {
    for (const auto& [name, value] : node.values) {
        const std::optional<std::string> ansi = Ansi(name);
        if (!ansi) {
            continue;
        }
        std::uint32_t type = 0;
        std::uint32_t needed = 0;
        Check(registry.QueryValue(key, *ansi, type, nullptr, needed) == kErrorSuccess);
        Check(type == value.type);
        const bool isString = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
        Check(needed == (isString ? value.data.size() / 2 : value.data.size()));

        std::vector<std::uint8_t> buffer(260);
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        const RegResult result = registry.QueryValue(key, *ansi, type, buffer.data(), size);
        Check(size == needed);
        Check(result == (needed <= buffer.size() ? kErrorSuccess : kErrorMoreData));

        buffer.assign(needed + 1, 0);
        size = needed;
        Check(registry.QueryValue(key, *ansi, type, buffer.data(), size) == kErrorSuccess);
        Check(size == needed && buffer[needed] == 0);  // nothing written past the buffer
        if (needed > 0) {
            size = needed - 1;
            Check(registry.QueryValue(key, *ansi, type, buffer.data(), size) == kErrorMoreData);
            Check(size == needed);
        }
    }
    for (const auto& [name, child] : node.subkeys) {
        const std::optional<std::string> ansi = Ansi(name);
        if (!ansi) {
            continue;
        }
        RegKey opened = 0;
        Check(registry.OpenKey(key, *ansi, kKeyRead, opened) == kErrorSuccess);
        ReadBack(registry, opened, *child);
        Check(registry.CloseKey(opened) == kErrorSuccess);
    }
}

// A prefix folder of this process for the file the prefix registry reads.
struct Prefix {
    Prefix() {
        char pattern[] = "/tmp/fuzz_wine_registry.XXXXXX";
        const char* made = ::mkdtemp(pattern);
        Check(made != nullptr);
        directory = made;
    }
    ~Prefix() {
        ::unlink((directory + "/system.reg").c_str());
        ::rmdir(directory.c_str());
    }
    std::string directory;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string variants[] = {bytes, "WINE REGISTRY Version 2\n" + bytes};
    for (const std::string& text : variants) {
        RegistryNode once;
        if (!MergeWineRegistryText(text, kClasses, once)) {
            Check(once.values.empty() && once.subkeys.empty());
            continue;
        }
        // Keys are added and values replaced, so the same text again changes nothing.
        RegistryNode twice;
        Check(MergeWineRegistryText(text, kClasses, twice));
        Check(MergeWineRegistryText(text, kClasses, twice));
        Check(SameTree(once, twice));
    }

    static const Prefix prefix;
    {
        std::ofstream file(prefix.directory + "/system.reg", std::ios::binary | std::ios::trunc);
        file << variants[1];
    }
    RegistryNode expected;
    Check(MergeWineRegistryText(variants[1], kClasses, expected));
    WinePrefixRegistry registry(prefix.directory);
    ReadBack(registry, kClassesRoot, expected);
    Check(registry.OpenKeyCount() == 0);
    return 0;
}
