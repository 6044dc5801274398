#include "platform/win32/win32_disk_probe.h"

#include "platform/win32/windows_support.h"

namespace kolvane::platform {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

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
    std::size_t begin = path.find(':') == 1 ? 2 : 0;
    while (begin < path.size()) {
        while (begin < path.size() && IsSeparator(path[begin])) {
            ++begin;
        }
        std::size_t end = begin;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::string component = path.substr(begin, end - begin);
        if (!component.empty() && component != "." && component != "..") {
            WIN32_FIND_DATAA found{};
            const win32::ScopedFindHandle search(
                ::FindFirstFileA(path.substr(0, end).c_str(), &found));
            if (!search.IsValid() || component != found.cFileName) {
                return false;
            }
        }
        begin = end;
    }
    return true;
}

}  // namespace kolvane::platform
