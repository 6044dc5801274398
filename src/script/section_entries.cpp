#include "script/section_entries.h"

#include <optional>

namespace kolvane {

bool NextEntry(ScriptReader& reader, Section section, const EntryObserver& observer,
               std::string& entry, EntryParts& parts) {
    while (reader.ReadEntry(entry)) {
        if (observer) {
            observer(section, entry);
        }
        if (const std::optional<EntryParts> split = SplitEntry(entry)) {
            parts = *split;
            return true;
        }
    }
    return false;
}

}  // namespace kolvane
