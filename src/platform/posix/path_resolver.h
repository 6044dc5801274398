#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/drive_map.h"

namespace kolvane::platform {

// Finds where Windows-form paths lie on this file system, as Windows and Wine find files: the
// drive letter through the drive table, and a component that is not there as written matched
// without regard to case. What it learns it keeps for its lifetime, one run of a program: each
// component is looked up once, a directory's listing is read at most once, and what the caller
// reports to have created is added. A name that others create meanwhile is found where it is
// asked for as written, not where it would only match without regard to case.
//
// A call costs time linear in the length of its path, and a path that begins like the one before
// it is read on from where the two part: each level of a chain of directories made one at a
// time costs the same, however deep. Directories are reached through open descriptors of their
// parents, never through their whole path, so that the system's limit on path length does not
// limit the depth either.
class PathResolver {
  public:
    // The last component of a path as the *at system calls take it.
    struct Place {
        // The directory that holds it, owned by the resolver and open until its next call; -1
        // when that directory does not exist.
        int directory = -1;
        // Its name there, with "/" after it for a path that ends in a separator; "." for a root.
        std::string name;
        std::size_t node = 0;
    };

    explicit PathResolver(const DriveMap& drives);
    ~PathResolver();
    PathResolver(const PathResolver&) = delete;
    PathResolver& operator=(const PathResolver&) = delete;

    // The path on this file system; none when it lies on no drive.
    std::optional<std::string> NativePath(std::string_view windowsPath);
    std::optional<Place> Locate(std::string_view windowsPath);
    // The caller has made the entry at `place`: a new directory, or a file.
    void Created(const Place& place, bool directory);

  private:
    struct Node;
    struct Step {
        std::size_t end;   // where a component of the previous path ends
        std::size_t node;  // what the path up to there names
    };

    std::optional<std::size_t> Walk(std::string_view path);
    std::optional<std::size_t> Root(char drive);
    std::size_t Child(std::size_t parent, std::string_view windowsName);
    std::size_t ChildNamed(std::size_t parent, const std::string& name, bool exists);
    std::optional<std::string> FindEntry(std::size_t directory, const std::string& name);
    void ReadListing(std::size_t directory);
    int DirectoryFd(std::size_t node);
    void KeepOpen(std::size_t node);

    std::map<char, std::string> roots_;  // the drive table
    std::map<char, std::size_t> rootNodes_;
    std::vector<Node> nodes_;
    std::string last_;               // the previous path
    std::vector<Step> steps_;        // how it was read
    std::vector<std::size_t> open_;  // nodes below a root with an open descriptor, latest last
};

}  // namespace kolvane::platform
