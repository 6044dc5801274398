#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane::platform {

// An absolute Windows-form path taken apart the way Windows and Wine read it before they touch
// the disk: backslashes and slashes both separate, repeated separators and "." count for
// nothing, and ".." removes the component before it, whether that exists or not (at the root
// it stays at the root).
struct WindowsPathParts {
    char drive = 0;                       // as written
    std::vector<std::string> components;  // Windows-1252 bytes, none of them "." or ".."
    bool trailingSeparator = false;
};

// None for a path without a drive letter, a drive-relative path ("C:File") and a path holding a
// NUL byte (which Windows would cut short there).
std::optional<WindowsPathParts> SplitWindowsPath(std::string_view path);

// The same reading one step at a time, for callers that read a path on from where an earlier
// one left off.
bool IsWindowsSeparator(char c);
// The drive letter of a path that SplitWindowsPath accepts; none for every other path.
std::optional<char> DriveOfWindowsPath(std::string_view path);
// The next component of `path` at or after `pos` that is neither empty nor "." (".." is one),
// and the position just after it; none when only separators and "." follow.
struct WindowsPathComponent {
    std::string_view text;
    std::size_t end = 0;
};
std::optional<WindowsPathComponent> NextWindowsPathComponent(std::string_view path,
                                                             std::size_t pos);

}  // namespace kolvane::platform
