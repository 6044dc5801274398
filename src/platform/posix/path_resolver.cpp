#include "platform/posix/path_resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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
    using Listing = std::unordered_map<std::string, std::vector<std::string>>;

    std::size_t parent = kNone;  // none for a drive's root
    std::string name;            // the name on disk, or as asked when missing; a root's whole path
    bool exists = false;
    bool notDirectory = false;  // it cannot be opened as a directory, so it holds nothing
    // Whether the entry itself is a symbolic link, as lstat(2) said when it was found or made;
    // unknown for a name found only in a listing.
    std::optional<bool> link;
    bool madeHere = false;  // a directory this run made: what it holds, the run put there
    DirectoryHandle fd;     // while it is kept open
    // The directory's entries by KeyOf: read when a name was not there as written, or known to
    // be empty since it was made. (Both maps are held apart, so that the node of a file, which
    // has neither, stays small: every page a run touches first costs time.)
    std::unique_ptr<Listing> listing;
    // By name on disk, and by every other spelling that led to one.
    std::unique_ptr<std::unordered_map<std::string, std::size_t>> children;

    std::optional<std::size_t> ChildCalled(const std::string& childName) const {
        if (children) {
            if (const auto known = children->find(childName); known != children->end()) {
                return known->second;
            }
        }
        return std::nullopt;
    }
    void AddChild(std::string childName, std::size_t child) {
        if (!children) {
            children = std::make_unique<std::unordered_map<std::string, std::size_t>>();
        }
        children->emplace(std::move(childName), child);
    }
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
    place.folder = *node;
    const std::size_t parent = nodes_[*node].parent;
    if (parent == kNone) {
        place.directory = DirectoryFd(*node);
        place.name = ".";
        return place;
    }
    place.folder = parent;
    place.absent = absent_;
    place.madeNone = nodes_[parent].madeHere && !nodes_[*node].exists;
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
    node.link = false;
    if (directory) {
        node.listing = std::make_unique<Node::Listing>();
        node.madeHere = true;
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

bool PathResolver::Known(const Place& place) const {
    return nodes_[place.node].exists;
}

void PathResolver::Found(const Place& place) {
    nodes_[place.node].exists = true;
}

int PathResolver::RemovedDirectory(const Place& place) {
    Node& node = nodes_[place.node];
    node.exists = false;
    node.madeHere = false;
    node.listing.reset();
    if (auto& listing = nodes_[node.parent].listing) {
        if (const auto names = listing->find(KeyOf(node.name)); names != listing->end()) {
            std::vector<std::string>& spelled = names->second;
            spelled.erase(std::remove(spelled.begin(), spelled.end(), node.name), spelled.end());
        }
    }
    open_.erase(std::remove(open_.begin(), open_.end(), place.node), open_.end());
    return node.fd.Release();
}

bool PathResolver::MadeHere(std::size_t node) const {
    return nodes_[node].madeHere;
}

bool PathResolver::RealPath(std::string_view windowsPath, bool deepest, std::string& real) {
    const std::optional<std::size_t> node = Walk(windowsPath);
    if (!node) {
        return false;
    }
    // The path itself, or else the nearest part above it that is there. `missing` is the part
    // found missing on the way, above which the search goes on.
    std::size_t at = *node;
    while (at != kNone) {
        std::size_t missing = at;
        if (nodes_[at].exists && RealOf(at, missing, real)) {
            return true;
        }
        if (!deepest) {
            return false;
        }
        at = nodes_[missing].parent;
    }
    return false;
}

// Writes the real path of the existing `node` into `real`: its parent's and its name, unless it
// is a symbolic link, which the system resolves. False when it turns out not to be there;
// `missing` is then the part of its path found missing.
bool PathResolver::RealOf(std::size_t node, std::size_t& missing, std::string& real) {
    std::vector<std::size_t>& below = below_;  // the names to add to the real path found above
    below.clear();
    for (std::size_t at = node;; at = nodes_[at].parent) {
        if (const std::string* kept = KeptReal(at)) {
            real.assign(*kept);
            break;
        }
        const std::optional<bool> link = nodes_[at].parent == kNone ? true : IsLink(at);
        if (!link) {
            missing = at;
            return false;
        }
        if (!*link) {
            below.push_back(at);
            continue;
        }
        // A root, or a link: where its descriptor leads.
        const int parentFd = nodes_[at].parent == kNone ? -1 : DirectoryFd(nodes_[at].parent);
        const UniqueFd fd(
            parentFd < 0 ? -1 : ::openat(parentFd, nodes_[at].name.c_str(), O_PATH | O_CLOEXEC));
        const std::optional<std::string> resolved =
            PathOfDescriptor(nodes_[at].parent == kNone ? nodes_[at].fd.Get() : fd.Get());
        if (!resolved) {
            missing = at;
            return false;
        }
        real.assign(*resolved);
        KeepReal(at, real);
        break;
    }
    for (auto name = below.rbegin(); name != below.rend(); ++name) {
        if (*name == node && name != below.rbegin()) {
            KeepReal(nodes_[node].parent, real);  // the folder of the next ones
        }
        if (real.back() != '/') {
            real += '/';
        }
        real += nodes_[*name].name;
    }
    if (!below.empty() && nodes_[node].children) {
        KeepReal(node, real);  // a folder, with files to come
    }
    return true;
}

const std::string* PathResolver::KeptReal(std::size_t node) {
    for (Real& kept : reals_) {
        if (kept.node == node) {
            kept.used = ++realsUsed_;
            return &kept.path;
        }
    }
    return nullptr;
}

void PathResolver::KeepReal(std::size_t node, const std::string& real) {
    Real* slot = &reals_[0];
    for (Real& kept : reals_) {
        if (kept.node == node) {
            slot = &kept;
            break;
        }
        if (kept.used < slot->used) {
            slot = &kept;
        }
    }
    slot->node = node;
    slot->used = ++realsUsed_;
    slot->path.assign(real);  // in the memory the slot already has
}

// Whether the existing entry `node` is a symbolic link, asked of the system only the first time;
// none when it is not there.
std::optional<bool> PathResolver::IsLink(std::size_t node) {
    if (!nodes_[node].link) {
        const int directory = DirectoryFd(nodes_[node].parent);
        struct stat status {};
        if (directory < 0 ||
            ::fstatat(directory, nodes_[node].name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            return std::nullopt;
        }
        nodes_[node].link = S_ISLNK(status.st_mode);
    }
    return nodes_[node].link;
}

std::optional<std::size_t> PathResolver::Walk(std::string_view path) {
    absent_ = false;
    const std::optional<char> drive = names::DriveOfWindowsPath(path);
    if (!drive) {
        return std::nullopt;
    }
    // Two paths are followed at once, so that a run that takes turns between the files of the
    // package and those of the host reads neither again from the top: the latest one when this
    // path goes on from all but its last component, else the other one.
    const std::size_t latest = CommonLength(cursors_[0].last, path);
    // A path that ends where a component of the latest one ends has been read with it, and the
    // latest path stays as it is: the folder of a file is made between two calls on the file.
    if (latest == path.size() && latest < cursors_[0].last.size()) {
        const std::vector<Step>& steps = cursors_[0].steps;
        const auto step =
            std::lower_bound(steps.begin(), steps.end(), latest,
                             [](const Step& read, std::size_t end) { return read.end < end; });
        if (step != steps.end() && step->end == latest) {
            return step->node;
        }
    }
    const std::size_t other = CommonLength(cursors_[1].last, path);
    const std::size_t lastSeparator = cursors_[0].last.find_last_of("\\/");
    const bool goesOn =
        latest > other && lastSeparator != std::string::npos && latest >= lastSeparator;
    if (!goesOn) {
        std::swap(cursors_[0], cursors_[1]);
    }
    std::string& last = cursors_[0].last;
    std::vector<Step>& steps = cursors_[0].steps;
    // What that path and this one share is read already, up to the last component that ends in
    // the shared part.
    const std::size_t common = goesOn ? latest : other;
    const auto holds = [&](std::size_t end) {
        return end < common ||
               (end == common && (end == path.size() || names::IsSeparator(path[end])));
    };
    bool popped = false;
    while (!steps.empty() && !holds(steps.back().end)) {
        steps.pop_back();
        popped = true;
    }
    std::size_t from = steps.empty() ? 0 : steps.back().end;
    // After its last component that path held only separators and "."; so does what this one
    // shares of that, up to the piece that reaches past the shared part. A run of separators
    // taken away one at a time is thus not read again each time.
    if (!popped && !steps.empty() && common > from) {
        from = common;
        while (from > steps.back().end && !names::IsSeparator(path[from - 1])) {
            --from;
        }
    }
    if (steps.empty()) {
        const std::optional<std::size_t> root = Root(*drive);
        if (!root) {
            last.clear();
            return std::nullopt;
        }
        steps.push_back({2, *root});
        from = 2;
    }
    last.assign(path);
    for (auto component = names::NextWindowsPathComponent(path, from); component;
         component = names::NextWindowsPathComponent(path, component->end)) {
        const std::size_t at = steps.back().node;
        std::size_t next = at;
        absent_ = false;
        if (component->text != "..") {
            next = Child(at, component->text);
        } else if (nodes_[at].parent != kNone) {
            next = nodes_[at].parent;
        }
        steps.push_back({component->end, next});
    }
    return steps.back().node;
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
    if (const std::optional<std::size_t> known = nodes_[parent].ChildCalled(name);
        known && nodes_[*known].exists) {
        return *known;
    }
    if (nodes_[parent].exists) {
        bool link = false;
        if (const std::optional<std::string> found = FindEntry(parent, name, link)) {
            const std::size_t child = ChildNamed(parent, *found, true);
            if (*found == name) {
                nodes_[child].link = link;
            } else {
                nodes_[parent].AddChild(std::move(name), child);
            }
            return child;
        }
    }
    return ChildNamed(parent, name, false);
}

std::size_t PathResolver::ChildNamed(std::size_t parent, const std::string& name, bool exists) {
    if (const std::optional<std::size_t> known = nodes_[parent].ChildCalled(name)) {
        nodes_[*known].exists = nodes_[*known].exists || exists;
        return *known;
    }
    Node& node = nodes_.emplace_back();
    node.parent = parent;
    node.name = name;
    node.exists = exists;
    nodes_[parent].AddChild(name, nodes_.size() - 1);
    return nodes_.size() - 1;
}

// The entry of `directory` that Windows would take for `name`: `name` itself when it is there
// with exactly that case (`link` then says whether it is a symbolic link), else an entry whose
// name differs only in case (the first in byte order, so that the choice is the same on every
// run). None when there is no such entry. A directory this run made holds only what the run put
// there, so its listing answers without the disk.
std::optional<std::string> PathResolver::FindEntry(std::size_t directory, const std::string& name,
                                                   bool& link) {
    const bool made = nodes_[directory].madeHere;
    if (!made) {
        const int fd = DirectoryFd(directory);
        if (fd < 0) {
            return std::nullopt;
        }
        struct stat status {};
        if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            link = S_ISLNK(status.st_mode);
            return name;
        }
        if (errno != ENOENT) {
            return std::nullopt;
        }
        ReadListing(directory);
    }
    const auto& listing = *nodes_[directory].listing;
    const std::string* match = nullptr;
    if (const auto bucket = listing.find(KeyOf(name)); bucket != listing.end()) {
        for (const std::string& candidate : bucket->second) {
            if (candidate == name) {
                match = &candidate;
                break;
            }
            if (names::Utf8EqualsIgnoringCase(candidate, name) &&
                (match == nullptr || candidate < *match)) {
                match = &candidate;
            }
        }
    }
    if (match == nullptr) {
        absent_ = !made;
        return std::nullopt;
    }
    return *match;
}

void PathResolver::ReadListing(std::size_t directory) {
    auto& listing = nodes_[directory].listing;
    if (listing) {
        return;
    }
    // An unreadable directory lists nothing, once.
    listing = std::make_unique<Node::Listing>();
    const int fd = DirectoryFd(directory);
    const int readable = fd < 0 ? -1 : RetryOnSignal([&] {
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

std::optional<std::string> PathOfDescriptor(int fd) {
    if (fd < 0) {
        return std::nullopt;
    }
    char buffer[PATH_MAX + 1];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), buffer, PATH_MAX);
    if (length <= 0) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(length));
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
