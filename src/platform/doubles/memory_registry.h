#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kolvane::platform {

// An in-memory hive for tests. Key paths are written with backslashes below a root, names are
// matched without regard to letter case, as the registry does (names::FoldCase). It records
// every key opened and tells whether each was closed exactly once.
class MemoryRegistry : public Registry {
  public:
    void AddKey(const std::string& path, RegKey root = kClassesRoot);
    void SetValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                  const std::string& bytes, RegKey root = kClassesRoot);
    // A REG_SZ value with its terminating NUL.
    void SetString(const std::string& keyPath, const std::string& name, const std::string& text,
                   RegKey root = kClassesRoot);
    // Opening the key fails with access denied although it exists.
    void DenyAccess(const std::string& keyPath, RegKey root = kClassesRoot);

    RegResult OpenKey(RegKey parent, const std::string& subkey, std::uint32_t access,
                      RegKey& result) override;
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                         std::uint8_t* data, std::uint32_t& size) override;
    RegResult CloseKey(RegKey key) override;

    // Paths of the keys opened successfully, in order, as "Software\Tessaline\HMDX".
    const std::vector<std::string>& OpenedKeys() const { return opened_; }
    // Paths of every open attempt, successful or not.
    const std::vector<std::string>& AttemptedKeys() const { return attempted_; }
    // Paths of the keys closed, in order.
    const std::vector<std::string>& ClosedKeys() const { return closed_; }
    // Keys opened and not closed yet.
    std::size_t OpenKeyCount() const { return handles_.size(); }
    // Closes of unknown or already closed keys, and access masks other than the expected one.
    int Misuses() const { return misuses_; }
    bool Balanced() const { return handles_.empty() && misuses_ == 0; }

    std::uint32_t expectedAccess = kKeyRead;

  private:
    struct Value {
        std::uint32_t type;
        std::string bytes;
    };
    struct Key {
        std::string displayPath;
        std::map<std::string, Value> values;  // by folded name
        bool denied = false;
    };

    static std::string Fold(const std::string& text);
    static std::string RootPrefix(RegKey root);
    Key& Ensure(const std::string& path, RegKey root);
    std::optional<std::string> PathOf(RegKey key) const;

    std::map<std::string, Key> keys_;        // by folded full path
    std::map<RegKey, std::string> handles_;  // open key -> folded full path
    RegKey nextHandle_ = 0x1000;
    std::vector<std::string> opened_;
    std::vector<std::string> attempted_;
    std::vector<std::string> closed_;
    int misuses_ = 0;
};

}  // namespace kolvane::platform
