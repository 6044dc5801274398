#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
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
// asked for as written, not where it would only match without regard to case; in a directory
// that this run made, it is not looked for at all (what the callers do with the name still meets
// it, and a directory others made there is found when the caller makes it too).
//
// A call costs time linear in the length of its path, and a path that begins like one of the two
// before it is read on from where the two part: each level of a chain of directories made one at a
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
        std::size_t folder = 0;  // the node of the directory that holds it (a root's own)
        // The lookup has just found no entry of that name there (an answer of the system, not
        // a remembered one).
        bool absent = false;
        // The directory is one this run made, and the run has put no entry of that name there.
        bool madeNone = false;
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
    // Whether the entry at `place` is known to be there, as made by the caller or found.
    bool Known(const Place& place) const;
    // The caller has found that there is an entry at `place` (of a kind it does not know).
    void Found(const Place& place);
    // The caller has removed the (empty) directory at `place`. Returns the descriptor kept of it
    // for the caller to close, -1 when none was kept: freeing the directory waits for that close.
    int RemovedDirectory(const Place& place);
    // Whether the caller made the directory `node` (a Place's folder).
    bool MadeHere(std::size_t node) const;
    // An open descriptor of the directory `node` (a Place's folder), open until the resolver's
    // next call; -1 when it is not there.
    int FolderFd(std::size_t node) { return DirectoryFd(node); }

    // Writes into `real` where the path lies once every link on the way is resolved, as
    // realpath(3) says; false when it does not exist. With `deepest`, a path that does not exist
    // lies where its deepest existing part does.
    bool RealPath(std::string_view windowsPath, bool deepest, std::string& real);

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
    std::optional<std::string> FindEntry(std::size_t directory, const std::string& name,
                                         bool& link);
    void ReadListing(std::size_t directory);
    int DirectoryFd(std::size_t node);
    void KeepOpen(std::size_t node);
    bool RealOf(std::size_t node, std::size_t& missing, std::string& real);
    std::optional<bool> IsLink(std::size_t node);
    const std::string* KeptReal(std::size_t node);
    void KeepReal(std::size_t node, const std::string& real);

    std::map<char, std::string> roots_;  // the drive table
    std::map<char, std::size_t> rootNodes_;
    std::deque<Node> nodes_;  // grows without moving what it holds
    // A path read before, and how: what the next path shares with it is not read again.
    struct Cursor {
        std::string last;
        std::vector<Step> steps;
    };
    std::array<Cursor, 2> cursors_;  // the latest first
    std::vector<std::size_t> open_;  // nodes below a root with an open descriptor, latest last
    bool absent_ = false;            // the last lookup of a name found nothing there
    // The real paths of the folders asked for last: those of a source and a destination, and of
    // the levels of a chain of folders being made. Kept in place, so that a run takes no memory
    // for them after its first files.
    struct Real {
        std::size_t node = static_cast<std::size_t>(-1);
        std::uint64_t used = 0;  // when it was last asked for
        std::string path;
    };
    std::array<Real, 8> reals_;
    std::uint64_t realsUsed_ = 0;
    std::vector<std::size_t> below_;  // RealOf's names to add, kept for the same reason
};

// The path that an open descriptor names, every link resolved.
std::optional<std::string> PathOfDescriptor(int fd);

}  // namespace kolvane::platform
