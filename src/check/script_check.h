#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "check/findings.h"
#include "platform/disk_probe.h"
#include "platform/files.h"
#include "script/section_entries.h"

namespace kolvane::check {

using platform::DiskProbe;

inline constexpr const char* kFileSection = SectionName(Section::kFiles);
inline constexpr const char* kTextureSection = SectionName(Section::kTextures);

// One entry as the reader delivers it, with the script line where it starts.
struct CheckedEntry {
    std::string text;
    int line = 0;
};

// What the reader makes of one section.
struct SectionRead {
    bool found = false;
    std::vector<CheckedEntry> entries;  // the entries the installer reads, in order
};

// The script line (from 1) of byte `offset` of `text`.
int LineAt(std::string_view text, std::size_t offset);

// Checks the script at `scriptPath` as the installer's reader sees it: the sections, their
// bodies and entries. Fills `files` and `textures` with the entries the installer would read.
// False when the script cannot be read at all (reported as an error).
bool CheckStructure(platform::Files& files, const std::string& scriptPath, Report& report,
                    SectionRead& fileSection, SectionRead& textureSection);

// The file entries: sources that are missing or exist only in another letter case, paths that
// leave their folder, destinations that collide. `packageDir` has no trailing backslash.
void CheckFileEntries(const std::vector<CheckedEntry>& entries, const std::string& packageDir,
                      platform::Files& files, DiskProbe& probe, Report& report);

// The texture entries: identifier texts, repeated identifiers and the shape of the definitions.
void CheckTextureEntries(const std::vector<CheckedEntry>& entries, Report& report);

}  // namespace kolvane::check
