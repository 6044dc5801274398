#include "platform/win32/win32_disk_probe.h"

#include "names/windows_path.h"
#include "platform/win32/windows_support.h"

namespace kolvane::platform {

DiskProbe::Entry Win32DiskProbe::Look(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return {};
    }
    Entry entry;
    entry.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kDirectory : Kind::kFile;
    entry.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return entry;
}

bool Win32DiskProbe::HasExactCase(const std::string& path) {
    // Each component as the directory lists it, against the component as written; the drive
    // ("C:") has no case that matters.
    const std::string_view written(path);
    for (const std::string_view component :
         names::SplitAtSeparators(written.substr(path.find(':') == 1 ? 2 : 0))) {
        if (component.empty() || component == "." || component == "..") {
            continue;
        }
        const auto end =
            static_cast<std::size_t>(component.data() + component.size() - path.data());
        WIN32_FIND_DATAA found{};
        const win32::ScopedFindHandle search(::FindFirstFileA(path.substr(0, end).c_str(), &found));
        if (!search.IsValid() || component != found.cFileName) {
            return false;
        }
    }
    return true;
}

}  // namespace kolvane::platform
