#include "platform/posix/path_resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>

#include "names/letter_case.h"
#include "names/windows_path.h"
#include "names/windows_text.h"
#include "platform/posix/retry_on_signal.h"
#include "platform/posix/unique_fd.h"

namespace kolvane::platform {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Directories kept open besides the drives' roots: a few, since a walk down a chain needs only
// the last one, and an operation on two paths one of each.
constexpr std::size_t kOpenDirectories = 8;

using DirectoryHandle = UniqueFd;

// Names that Windows takes for one name share a key: ASCII letters folded, and every byte beyond
// ASCII alike, since both cases of each letter that has two take the same number of bytes. The
// few names of a directory that share a key are told apart by the full comparison of names.
std::string KeyOf(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        c = static_cast<unsigned char>(c) >= 0x80 ? '\x80' : names::FoldCase(c);
    }
    return key;
}

std::size_t CommonLength(std::string_view a, std::string_view b) {
    const std::size_t size = std::min(a.size(), b.size());
    constexpr std::size_t kBlock = 64;
    std::size_t same = 0;
    while (same + kBlock <= size && std::memcmp(a.data() + same, b.data() + same, kBlock) == 0) {
        same += kBlock;
    }
    while (same < size && a[same] == b[same]) {
        ++same;
    }
    return same;
}

bool EndsInSeparator(std::string_view path) {
    return path.size() > 2 && names::IsSeparator(path.back());
}

}  // namespace

struct PathResolver::Node {
    std::size_t parent = kNone;  // none for a drive's root
    std::string name;            // the name on disk, or as asked when missing; a root's whole path
    bool exists = false;
    bool notDirectory = false;  // it cannot be opened as a directory, so it holds nothing
    DirectoryHandle fd;         // while it is kept open
    // The directory's entries by KeyOf: read when a name was not there as written, or known to
    // be empty since it was made.
    std::optional<std::unordered_map<std::string, std::vector<std::string>>> listing;
    // By name on disk, and by every other spelling that led to one.
    std::unordered_map<std::string, std::size_t> children;
};

PathResolver::PathResolver(const DriveMap& drives) : roots_(drives.Roots()) {}

PathResolver::~PathResolver() = default;

std::optional<std::string> PathResolver::NativePath(std::string_view windowsPath) {
    const std::optional<std::size_t> node = Walk(windowsPath);
    if (!node) {
        return std::nullopt;
    }
    std::vector<const std::string*> names;
    std::size_t root = *node;
    for (; nodes_[root].parent != kNone; root = nodes_[root].parent) {
        names.push_back(&nodes_[root].name);
    }
    std::string path = nodes_[root].name == "/" ? std::string() : nodes_[root].name;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        path += '/';
        path += **name;
    }
    if (path.empty()) {
        return "/";
    }
    if (!names.empty() && EndsInSeparator(windowsPath)) {
        path += '/';
    }
    return path;
}

std::optional<PathResolver::Place> PathResolver::Locate(std::string_view windowsPath) {
    const std::optional<std::size_t> node = Walk(windowsPath);
    if (!node) {
        return std::nullopt;
    }
    Place place;
    place.node = *node;
    const std::size_t parent = nodes_[*node].parent;
    if (parent == kNone) {
        place.directory = DirectoryFd(*node);
        place.name = ".";
        return place;
    }
    place.directory = DirectoryFd(parent);
    place.name = nodes_[*node].name;
    if (EndsInSeparator(windowsPath)) {
        place.name += '/';
    }
    return place;
}

void PathResolver::Created(const Place& place, bool directory) {
    Node& node = nodes_[place.node];
    if (node.parent == kNone) {
        return;
    }
    node.exists = true;
    node.notDirectory = !directory;
    if (directory) {
        node.listing.emplace();
    }
    const std::string name = node.name;
    auto& listing = nodes_[node.parent].listing;
    if (listing) {
        std::vector<std::string>& names = (*listing)[KeyOf(name)];
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
}

std::optional<std::size_t> PathResolver::Walk(std::string_view path) {
    const std::optional<char> drive = names::DriveOfWindowsPath(path);
    if (!drive) {
        return std::nullopt;
    }
    // What the previous path and this one share is read already, up to the last component
    // that ends in the shared part.
    const std::size_t common = CommonLength(last_, path);
    const auto holds = [&](std::size_t end) {
        return end < common ||
               (end == common && (end == path.size() || names::IsSeparator(path[end])));
    };
    bool popped = false;
    while (!steps_.empty() && !holds(steps_.back().end)) {
        steps_.pop_back();
        popped = true;
    }
    std::size_t from = steps_.empty() ? 0 : steps_.back().end;
    // After its last component the previous path held only separators and "."; so does what
    // this one shares of that, up to the piece that reaches past the shared part. A run of
    // separators taken away one at a time is thus not read again each time.
    if (!popped && !steps_.empty() && common > from) {
        from = common;
        while (from > steps_.back().end && !names::IsSeparator(path[from - 1])) {
            --from;
        }
    }
    if (steps_.empty()) {
        const std::optional<std::size_t> root = Root(*drive);
        if (!root) {
            last_.clear();
            return std::nullopt;
        }
        steps_.push_back({2, *root});
        from = 2;
    }
    last_.assign(path);
    for (auto component = names::NextWindowsPathComponent(path, from); component;
         component = names::NextWindowsPathComponent(path, component->end)) {
        const std::size_t at = steps_.back().node;
        std::size_t next = at;
        if (component->text != "..") {
            next = Child(at, component->text);
        } else if (nodes_[at].parent != kNone) {
            next = nodes_[at].parent;
        }
        steps_.push_back({component->end, next});
    }
    return steps_.back().node;
}

std::optional<std::size_t> PathResolver::Root(char drive) {
    const char letter = drive >= 'A' && drive <= 'Z' ? static_cast<char>(drive - 'A' + 'a') : drive;
    if (const auto known = rootNodes_.find(letter); known != rootNodes_.end()) {
        return known->second;
    }
    const auto root = roots_.find(letter);
    if (root == roots_.end()) {
        return std::nullopt;
    }
    Node node;
    node.name = root->second.empty() ? "/" : root->second;
    node.fd = DirectoryHandle(::open(node.name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    node.exists = node.fd.Valid();
    node.notDirectory = !node.fd.Valid();
    nodes_.push_back(std::move(node));
    rootNodes_.emplace(letter, nodes_.size() - 1);
    return nodes_.size() - 1;
}

std::size_t PathResolver::Child(std::size_t parent, std::string_view windowsName) {
    std::string name = names::Windows1252ToUtf8(windowsName);
    const auto& children = nodes_[parent].children;
    if (const auto known = children.find(name);
        known != children.end() && nodes_[known->second].exists) {
        return known->second;
    }
    if (nodes_[parent].exists) {
        if (const std::optional<std::string> found = FindEntry(parent, name)) {
            const std::size_t child = ChildNamed(parent, *found, true);
            if (*found != name) {
                nodes_[parent].children.emplace(std::move(name), child);
            }
            return child;
        }
    }
    return ChildNamed(parent, name, false);
}

std::size_t PathResolver::ChildNamed(std::size_t parent, const std::string& name, bool exists) {
    if (const auto known = nodes_[parent].children.find(name);
        known != nodes_[parent].children.end()) {
        nodes_[known->second].exists = nodes_[known->second].exists || exists;
        return known->second;
    }
    Node node;
    node.parent = parent;
    node.name = name;
    node.exists = exists;
    nodes_.push_back(std::move(node));
    nodes_[parent].children.emplace(name, nodes_.size() - 1);
    return nodes_.size() - 1;
}

// The entry of `directory` that Windows would take for `name`: `name` itself when it is there
// with exactly that case, else an entry whose name differs only in case (the first in byte
// order, so that the choice is the same on every run). None when there is no such entry.
std::optional<std::string> PathResolver::FindEntry(std::size_t directory, const std::string& name) {
    const int fd = DirectoryFd(directory);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        return name;
    }
    if (errno != ENOENT) {
        return std::nullopt;
    }
    ReadListing(directory);
    const auto& listing = *nodes_[directory].listing;
    const auto bucket = listing.find(KeyOf(name));
    if (bucket == listing.end()) {
        return std::nullopt;
    }
    const std::string* match = nullptr;
    for (const std::string& candidate : bucket->second) {
        if (names::Utf8EqualsIgnoringCase(candidate, name) && (match == nullptr || candidate < *match)) {
            match = &candidate;
        }
    }
    return match != nullptr ? std::optional<std::string>(*match) : std::nullopt;
}

void PathResolver::ReadListing(std::size_t directory) {
    auto& listing = nodes_[directory].listing;
    if (listing) {
        return;
    }
    // An unreadable directory lists nothing, once.
    listing.emplace();
    const int fd = DirectoryFd(directory);
    const int readable = fd < 0 ? -1
                                : RetryOnSignal([&] {
                                      return ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                                  });
    if (readable < 0) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::fdopendir(readable), ::closedir);
    if (!entries) {
        ::close(readable);
        return;
    }
    while (const dirent* entry = ::readdir(entries.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            (*listing)[KeyOf(name)].emplace_back(name);
        }
    }
}

// An open descriptor of the directory `node`, or -1 when there is none. It is opened from the
// nearest directory above that is open, which in a walk down a chain is its parent.
int PathResolver::DirectoryFd(std::size_t node) {
    if (nodes_[node].fd.Valid()) {
        KeepOpen(node);
        return nodes_[node].fd.Get();
    }
    if (!nodes_[node].exists || nodes_[node].notDirectory) {
        return -1;
    }
    std::vector<std::size_t> below;
    std::size_t top = node;
    for (; !nodes_[top].fd.Valid() && nodes_[top].parent != kNone; top = nodes_[top].parent) {
        below.push_back(top);
    }
    if (!nodes_[top].fd.Valid()) {
        return -1;
    }
    DirectoryHandle current;
    int base = nodes_[top].fd.Get();
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        DirectoryHandle next(
            ::openat(base, nodes_[*it].name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!next.Valid()) {
            if (errno == ENOTDIR) {
                nodes_[*it].notDirectory = true;
            }
            return -1;
        }
        current = std::move(next);
        base = current.Get();
    }
    nodes_[node].fd = std::move(current);
    KeepOpen(node);
    return nodes_[node].fd.Get();
}

void PathResolver::KeepOpen(std::size_t node) {
    if (nodes_[node].parent == kNone) {
        return;  // roots stay open
    }
    const auto at = std::find(open_.begin(), open_.end(), node);
    if (at != open_.end()) {
        std::rotate(at, at + 1, open_.end());
        return;
    }
    open_.push_back(node);
    if (open_.size() > kOpenDirectories) {
        nodes_[open_.front()].fd.Close();
        open_.erase(open_.begin());
    }
}

}  // namespace kolvane::platform
