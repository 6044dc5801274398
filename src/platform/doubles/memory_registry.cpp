#include "platform/doubles/memory_registry.h"

#include <cstring>

#include "names/letter_case.h"

namespace kolvane::platform {

std::string MemoryRegistry::Fold(const std::string& text) {
    return names::FoldCase(text);
}

std::string MemoryRegistry::RootPrefix(RegKey root) {
    return "#" + std::to_string(static_cast<unsigned long long>(root));
}

MemoryRegistry::Key& MemoryRegistry::Ensure(const std::string& path, RegKey root) {
    // Every level of the path exists as a key of its own.
    std::string full = RootPrefix(root);
    std::string display;
    std::size_t start = 0;
    Key* key = nullptr;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(start, end - start);
        full += "\\" + Fold(part);
        display += (display.empty() ? "" : "\\") + part;
        key = &keys_[full];
        if (key->displayPath.empty()) {
            key->displayPath = display;
        }
        start = end + 1;
    }
    return *key;
}

void MemoryRegistry::AddKey(const std::string& path, RegKey root) {
    Ensure(path, root);
}

void MemoryRegistry::SetValue(const std::string& keyPath, const std::string& name,
                              std::uint32_t type, const std::string& bytes, RegKey root) {
    Ensure(keyPath, root).values[Fold(name)] = Value{type, bytes};
}

void MemoryRegistry::SetString(const std::string& keyPath, const std::string& name,
                               const std::string& text, RegKey root) {
    SetValue(keyPath, name, kRegSz, text + std::string(1, '\0'), root);
}

void MemoryRegistry::DenyAccess(const std::string& keyPath, RegKey root) {
    Ensure(keyPath, root).denied = true;
}

std::optional<std::string> MemoryRegistry::PathOf(RegKey key) const {
    if (key >= kClassesRoot && key <= kDynData) {
        return RootPrefix(key);
    }
    auto found = handles_.find(key);
    if (found == handles_.end()) {
        return std::nullopt;
    }
    return found->second;
}

RegResult MemoryRegistry::OpenKey(RegKey parent, const std::string& subkey, std::uint32_t access,
                                  RegKey& result) {
    if (access != expectedAccess) {
        ++misuses_;
    }
    const std::optional<std::string> parentPath = PathOf(parent);
    if (!parentPath) {
        ++misuses_;
        return kErrorInvalidHandle;
    }
    const std::string full = *parentPath + "\\" + Fold(subkey);
    auto found = keys_.find(full);
    attempted_.push_back(found == keys_.end() ? subkey : found->second.displayPath);
    if (found == keys_.end()) {
        return kErrorFileNotFound;
    }
    if (found->second.denied) {
        return kErrorAccessDenied;
    }
    result = nextHandle_++;
    handles_[result] = full;
    opened_.push_back(found->second.displayPath);
    return kErrorSuccess;
}

RegResult MemoryRegistry::QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                                     std::uint8_t* data, std::uint32_t& size) {
    const std::optional<std::string> path = PathOf(key);
    if (!path) {
        ++misuses_;
        return kErrorInvalidHandle;
    }
    auto found = keys_.find(*path);
    if (found == keys_.end()) {
        return kErrorFileNotFound;
    }
    auto value = found->second.values.find(Fold(name));
    if (value == found->second.values.end()) {
        return kErrorFileNotFound;
    }
    const std::string& bytes = value->second.bytes;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    type = value->second.type;
    if (data == nullptr || needed > size) {
        const bool onlyAsked = data == nullptr;
        size = needed;
        return onlyAsked ? kErrorSuccess : kErrorMoreData;
    }
    if (!bytes.empty()) {
        std::memcpy(data, bytes.data(), bytes.size());
        // Windows ends a string stored without its NUL when the buffer has room for one.
        const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
        if (text && bytes.back() != '\0' && needed < size) {
            data[needed] = 0;
        }
    }
    size = needed;
    return kErrorSuccess;
}

RegResult MemoryRegistry::CloseKey(RegKey key) {
    auto found = handles_.find(key);
    if (found == handles_.end()) {
        ++misuses_;
        return kErrorInvalidHandle;
    }
    closed_.push_back(keys_[found->second].displayPath);
    handles_.erase(found);
    return kErrorSuccess;
}

}  // namespace kolvane::platform
