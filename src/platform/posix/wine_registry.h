#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kolvane::platform {

// A value as the registry stores it: string types hold UTF-16LE code units with their NUL.
struct RegistryValue {
    std::uint32_t type = kRegNone;
    std::string data;
};

// One key of a registry read from files: its subkeys and values by their case-folded names
// (names::FoldCase).
struct RegistryNode {
    std::map<std::u16string, std::unique_ptr<RegistryNode>> subkeys;
    std::map<std::u16string, RegistryValue> values;

    const RegistryNode* Subkey(std::u16string_view name) const;
    const RegistryValue* Value(std::u16string_view name) const;
};

// Reads the text of a registry file as Wine writes it (system.reg, user.reg): a header line,
// "[key]" lines, "#" options, and values as "name"=..., @=..., str(2):, str(7):, dword:, hex: and
// hex(N): with continued lines. The keys at and below `branch` (a key path below the file's root,
// such as u"Software\\Classes") are merged into `root`, which stands for the branch itself: keys
// are added and values replace values of the same name. Lines Wine would reject are skipped as
// Wine skips them. False, with nothing merged, when the text is not a Wine registry file.
bool MergeWineRegistryText(std::string_view text, std::u16string_view branch, RegistryNode& root);

// The registry of a Wine prefix, read without Wine: HKEY_CLASSES_ROOT as Wine presents it, the
// keys below Software\Classes of user.reg over those of system.reg. Values come out the way
// RegQueryValueExA hands them out: strings in Windows-1252 with their NUL, binary values as
// stored. The files are read again when they have changed since the last key opened below the
// root, so a host installed while the program runs is found; keys already open keep what they saw.
// A missing prefix or an unreadable file contributes no keys; a FIFO, device or folder in the
// place of either file leaves the registry without any.
class WinePrefixRegistry : public Registry {
  public:
    explicit WinePrefixRegistry(std::string prefixDirectory);

    RegResult OpenKey(RegKey parent, const std::string& subkey, std::uint32_t access,
                      RegKey& result) override;
    RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                         std::uint8_t* data, std::uint32_t& size) override;
    RegResult CloseKey(RegKey key) override;

    std::size_t OpenKeyCount() const { return handles_.size(); }
    // How often the registry files were read.
    int Loads() const { return loads_; }

  private:
    struct FileStamp {
        bool exists = false;
        unsigned long long device = 0, inode = 0, size = 0;
        long long seconds = 0, nanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct OpenedKey {
        std::shared_ptr<const RegistryNode> snapshot;  // keeps the node alive after a reload
        const RegistryNode* node;
    };

    void Refresh();
    const RegistryNode* Resolve(RegKey key, std::shared_ptr<const RegistryNode>& snapshot);

    std::string prefix_;
    std::array<FileStamp, 2> stamps_;  // system.reg, user.reg as last read
    bool loaded_ = false;
    int loads_ = 0;
    std::shared_ptr<const RegistryNode> classes_;
    std::map<RegKey, OpenedKey> handles_;
    RegKey nextHandle_ = 0x100;
};

}  // namespace kolvane::platform
