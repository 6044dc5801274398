#pragma once

#include <functional>
#include <string>

#include "script/script_entry.h"
#include "script/script_reader.h"

namespace kolvane {

// The two sections of the install script.
enum class Section {
    kFiles,
    kTextures,
};

// The section's name in the script.
constexpr const char* SectionName(Section section) {
    return section == Section::kFiles ? "Dateinstallation" : "Texturskript";
}

// Sees every entry a section reads, before the section acts on it, so that an observer of the
// seams can tell which entry caused what.
using EntryObserver = std::function<void(Section section, const std::string& entry)>;

// Reads the current section's next entry that has a ">>" into `entry` and splits it into
// `parts`; entries without one are passed over. The observer, if any, sees every entry read.
bool NextEntry(ScriptReader& reader, Section section, const EntryObserver& observer,
               std::string& entry, EntryParts& parts);

}  // namespace kolvane
