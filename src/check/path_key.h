#pragma once

#include <string>
#include <string_view>

namespace kolvane::check {

// A Windows-form path as Windows tells paths apart: '/' and '\' alike, repeated separators, "."
// and ".." resolved by name, letters of either case the same. Two paths with the same key name
// the same file.
std::string PathKey(std::string_view path);

// `path` up to, not including, its last backslash; the whole path without one.
std::string DirectoryPart(const std::string& path);

}  // namespace kolvane::check
