#include "textures/registry_path.h"

#include <algorithm>
#include <array>

namespace kolvane {

using platform::RegKey;

bool RegistryPath::SetPath(RegKey root, const std::string* names, std::size_t count) {
    m_names.clear();
    Close();
    if (root < platform::kClassesRoot || root > platform::kDynData) {
        return false;
    }
    m_root = root;
    m_names.assign(names, names + count);
    return true;
}

bool RegistryPath::Open(std::uint32_t access) {
    if (m_names.empty()) {
        return false;
    }
    Close();
    for (const std::string& name : m_names) {
        const RegKey parent = m_handles.empty() ? m_root : m_handles.back();
        RegKey key = 0;
        if (m_registry.OpenKey(parent, name, access, key) != platform::kErrorSuccess) {
            Close();
            return false;
        }
        m_handles.push_back(key);
    }
    m_open = true;
    return true;
}

bool RegistryPath::ReadString(const std::string& name, std::string& value) {
    if (!m_open) {
        return false;
    }
    std::array<std::uint8_t, kValueBufferSize> buffer{};
    std::uint32_t size = kValueBufferSize;
    std::uint32_t type = platform::kRegNone;
    if (m_registry.QueryValue(m_handles.back(), name, type, buffer.data(), size) !=
        platform::kErrorSuccess) {
        return false;
    }
    if (type != platform::kRegSz && type != platform::kRegExpandSz &&
        type != platform::kRegMultiSz) {
        return false;
    }
    // The text ends at its first NUL. A value stored without one ends with its bytes, but only
    // when a NUL would still have fitted: a text that fills the whole buffer is too long.
    const std::uint8_t* begin = buffer.data();
    const std::uint8_t* stored = begin + std::min(size, kValueBufferSize);
    const std::uint8_t* end = std::find(begin, stored, 0);
    if (end == begin + kValueBufferSize) {
        return false;
    }
    value.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
    return true;
}

bool RegistryPath::Close() {
    bool closed = true;
    while (!m_handles.empty()) {
        if (m_registry.CloseKey(m_handles.back()) != platform::kErrorSuccess) {
            closed = false;
        }
        m_handles.pop_back();
    }
    m_open = false;
    return closed;
}

bool ReadResourceBase(platform::Registry& registry, const std::string& product,
                      std::string& resourceBase) {
    const std::string names[] = {"Software", "Tessaline", product};
    RegistryPath path(registry);
    const bool found = path.SetPath(platform::kClassesRoot, names, std::size(names)) &&
                       path.Open(platform::kKeyRead) && path.ReadString("ResBase", resourceBase);
    path.Close();
    return found;
}

std::string LocateCatalog(platform::Registry& registry) {
    std::string resourceBase;
    if (!ReadResourceBase(registry, "HMDX", resourceBase) &&
        !ReadResourceBase(registry, "QZ", resourceBase)) {
        return {};
    }
    return resourceBase + "\\Rezazerad" + "\\Texturen.txt";
}

}  // namespace kolvane
