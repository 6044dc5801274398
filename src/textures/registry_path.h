#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kolvane {

// Reads one value from a key path below a predefined root, such as
// HKEY_CLASSES_ROOT\Software\Tessaline\HMDX. It owns the keys it opens and closes them, deepest
// first, whenever it closes, reopens, takes a new path or is destroyed.
class RegistryPath {
  public:
    // The buffer a value is read into; the text with its terminating NUL must fit.
    static constexpr std::uint32_t kValueBufferSize = 260;

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
    // the first string of REG_MULTI_SZ, which with its NUL fits in kValueBufferSize bytes.
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

// The host's resource directory: the value "ResBase" under Software\Tessaline\<product>.
bool ReadResourceBase(platform::Registry& registry, const std::string& product,
                      std::string& resourceBase);

// The full path of the host's texture catalogue, from the ResBase of HMDX, else of QZ; empty
// when neither has one.
std::string LocateCatalog(platform::Registry& registry);

}  // namespace kolvane
