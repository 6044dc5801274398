#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kolvane::names {

// Backslash and slash both separate the parts of a path, for Windows and for Wine.
constexpr bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The pieces of `path` between its separators, as written: "a\\b/" gives "a", "" and "" (an
// empty piece for each repeated, leading or trailing separator). The views point into `path`.
std::vector<std::string_view> SplitAtSeparators(std::string_view path);

// Hands the same pieces to `visit` one by one, without a list, until it returns false; false
// when it did.
template <typename Visit>
bool ForEachPiece(std::string_view path, Visit&& visit) {
    std::size_t begin = 0;
    for (std::size_t end = 0; end <= path.size(); ++end) {
        if (end == path.size() || IsSeparator(path[end])) {
            if (!visit(path.substr(begin, end - begin))) {
                return false;
            }
            begin = end + 1;
        }
    }
    return true;
}

// An absolute Windows-form path taken apart the way Windows and Wine read it before they touch
// the disk: repeated separators and "." count for nothing, and ".." removes the component
// before it, whether that exists or not (at the root it stays at the root).
struct WindowsPathParts {
    char drive = 0;                       // as written
    std::vector<std::string> components;  // Windows-1252 bytes, none of them "." or ".."
    bool trailingSeparator = false;
};

// None for a path without a drive letter, a drive-relative path ("C:File") and a path holding a
// NUL byte (which Windows would cut short there).
std::optional<WindowsPathParts> SplitWindowsPath(std::string_view path);

// The same reading one step at a time, for callers that read a path on from where an earlier
// one left off. The drive letter of a path that SplitWindowsPath accepts; none for every other.
std::optional<char> DriveOfWindowsPath(std::string_view path);
// The next component of `path` at or after `pos` that is neither empty nor "." (".." is one),
// and the position just after it; none when only separators and "." follow.
struct WindowsPathComponent {
    std::string_view text;
    std::size_t end = 0;
};
std::optional<WindowsPathComponent> NextWindowsPathComponent(std::string_view path,
                                                             std::size_t pos);

// A path as Windows tells paths apart, resolved as SplitWindowsPath resolves it (a relative path
// the same way below its start), with letters of either case the same. Two paths with the same
// key name the same file.
std::string PathKey(std::string_view path);

// `path` up to, not including, its last separator; the whole path without one.
std::string DirectoryPart(std::string_view path);

// The longest path a message shows whole: MAX_PATH, the longest path that programs written for
// Windows handle, so that every path a person would meet is shown as it is. A message names at
// most two paths, so its text stays far below the 32,767 characters that Windows and Wine show
// in a message box.
inline constexpr std::size_t kShownPathLimit = 260;

// What stands for the middle of a shortened path: plain ASCII, the same bytes in every ANSI code
// page a Windows program may run in and in every character set a terminal may expect.
inline constexpr std::string_view kShownPathEllipsis = "...";

// `path` as a message shows it: unchanged up to kShownPathLimit bytes; a longer one shortened
// to that length in the middle, keeping its drive and first folders and its last folders and
// file name, cut at separators where one lies near enough ("C:\Halmdor\...\Modelle\x.mdl")
// and else within a name.
std::string ShownPath(std::string_view path);

}  // namespace kolvane::names
