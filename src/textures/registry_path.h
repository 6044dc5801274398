#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kolvane {

// The buffer every registry text of the host is read into; the text with its NUL must fit.
inline constexpr std::uint32_t kRegistryTextSize = 260;

// Reads the value `name` of the open key `key` as a text: the bytes stored up to their first NUL.
// A value stored without a NUL ends with its bytes, unless they fill the whole buffer: that text
// is too long. `type` is the value's registry type, which the caller judges. False when the value
// is missing, unreadable or too long.
bool ReadRegistryText(platform::Registry& registry, platform::RegKey key, const std::string& name,
                      std::uint32_t& type, std::string& text);

// Reads one value from a key path below a predefined root, such as
// HKEY_CLASSES_ROOT\Software\Tessaline\HMDX. It owns the keys it opens and closes them, deepest
// first, whenever it closes, reopens, takes a new path or is destroyed.
class RegistryPath {
  public:
    explicit RegistryPath(platform::Registry& registry) : m_registry(registry) {}
    RegistryPath(const RegistryPath&) = delete;
    RegistryPath& operator=(const RegistryPath&) = delete;
    ~RegistryPath() { Close(); }

    // Forgets the stored path and closes every open key, then stores `root` and the first
    // `count` of `names` (outermost first). False for a root outside the predefined ones.
    bool SetPath(platform::RegKey root, const std::string* names, std::size_t count);

    // Opens every level of the stored path with `access`. On failure no key stays open.
    bool Open(std::uint32_t access);

    // Reads the string value `name` of the deepest key: REG_SZ, REG_EXPAND_SZ (not expanded) or
    // the first string of REG_MULTI_SZ, read by ReadRegistryText.
    bool ReadString(const std::string& name, std::string& value);

    // Closes every open key, deepest first. True when every close succeeded.
    bool Close();

    bool IsOpen() const { return m_open; }

  private:
    platform::Registry& m_registry;
    platform::RegKey m_root = 0;
    std::vector<std::string> m_names;
    std::vector<platform::RegKey> m_handles;  // one per opened level, outermost first
    bool m_open = false;
};

// The host's resource directory: the value "ResBase" of the host's key for `product`.
bool ReadResourceBase(platform::Registry& registry, const std::string& product,
                      std::string& resourceBase);

// The full path of the host's texture catalogue, from the ResBase of HMDX, else of QZ; empty
// when neither has one.
std::string LocateCatalog(platform::Registry& registry);

}  // namespace kolvane
