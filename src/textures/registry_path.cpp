#include "textures/registry_path.h"

#include <algorithm>
#include <array>

#include "platform/host_key.h"

namespace kolvane {

using platform::RegKey;

bool ReadRegistryText(platform::Registry& registry, RegKey key, const std::string& name,
                      std::uint32_t& type, std::string& text) {
    std::array<std::uint8_t, kRegistryTextSize> buffer{};
    std::uint32_t size = kRegistryTextSize;
    type = platform::kRegNone;
    if (registry.QueryValue(key, name, type, buffer.data(), size) != platform::kErrorSuccess) {
        return false;
    }
    const std::uint8_t* begin = buffer.data();
    const std::uint8_t* stored = begin + std::min(size, kRegistryTextSize);
    const std::uint8_t* end = std::find(begin, stored, 0);
    if (end == begin + kRegistryTextSize) {
        return false;
    }
    text.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
    return true;
}

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
    std::uint32_t type = platform::kRegNone;
    return m_open && ReadRegistryText(m_registry, m_handles.back(), name, type, value) &&
           (type == platform::kRegSz || type == platform::kRegExpandSz ||
            type == platform::kRegMultiSz);
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
    const std::string names[] = {platform::kHostMakerKeys[0], platform::kHostMakerKeys[1], product};
    RegistryPath path(registry);
    const bool found = path.SetPath(platform::kHostRoot, names, std::size(names)) &&
                       path.Open(platform::kKeyRead) && path.ReadString("ResBase", resourceBase);
    path.Close();
    return found;
}

std::string LocateCatalog(platform::Registry& registry) {
    std::string resourceBase;
    for (const char* product : platform::kHostProducts) {
        if (ReadResourceBase(registry, product, resourceBase)) {
            return resourceBase + "\\Rezazerad" + "\\Texturen.txt";
        }
    }
    return {};
}

}  // namespace kolvane
