#include "textures/text_tree.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace kolvane::text {
namespace {

using NodeId = std::uint32_t;
constexpr NodeId kNil = std::numeric_limits<NodeId>::max();
constexpr std::int64_t kNoClose = std::numeric_limits<std::int64_t>::max() / 4;

// What a stretch of text holds, so that a whole subtree can be passed over at once. Summaries
// add up in text order.
struct Summary {
    std::size_t size = 0;
    std::size_t opens = 0;                           // '{'
    std::size_t parens = 0;                          // ')'
    std::size_t tokens[TextTree::kMaxMarkers] = {};  // starting here, by marker
    std::int64_t depth = 0;                          // '{' minus '}'
    // The least depth right after any '}' of the stretch, counted from its start: a block opened
    // in front of the stretch, outside of which the depth is d, closes inside the stretch exactly
    // when the depth in front of the stretch plus this comes down to d.
    std::int64_t lowest = kNoClose;

    Summary& operator+=(const Summary& later) {
        size += later.size;
        opens += later.opens;
        parens += later.parens;
        for (std::size_t m = 0; m < TextTree::kMaxMarkers; ++m) {
            tokens[m] += later.tokens[m];
        }
        lowest = std::min(lowest, depth + later.lowest);
        depth += later.depth;
        return *this;
    }
    friend Summary operator+(Summary earlier, const Summary& later) { return earlier += later; }
};

Summary OfBytes(std::string_view bytes) {
    Summary summary;
    summary.size = bytes.size();
    for (char c : bytes) {
        if (c == '{') {
            ++summary.opens;
            ++summary.depth;
        } else if (c == '}') {
            --summary.depth;
            summary.lowest = std::min(summary.lowest, summary.depth);
        } else if (c == ')') {
            ++summary.parens;
        }
    }
    return summary;
}

}  // namespace

// A treap of chunks keyed by position, with parent links so that a node knows where it stands.
// Inserted bytes are spliced into the chunk they land in, and a chunk that grows beyond twice the
// chunk size is split; erased bytes are cut out of their chunks, and empty chunks leave the tree.
// So the tree keeps about one node per chunk of text however many edits were made.
// Every token is anchored at the node that holds its first byte.
struct TextTree::Tree {
    struct Node {
        // The chunk's bytes: a stretch of the loaded text until the chunk is first edited, then
        // a copy of its own.
        std::string_view loaded;
        std::string edited;
        bool isEdited = false;
        std::uint64_t priority = 0;
        NodeId left = kNil;
        NodeId right = kNil;
        NodeId parent = kNil;
        Summary own;                  // this chunk
        Summary all;                  // the subtree
        std::vector<TokenId> tokens;  // by offset
    };

    struct Token {
        NodeId node = kNil;
        std::uint32_t offset = 0;  // a chunk holds at most three times the chunk size
        std::uint8_t marker = 0;
    };

    // Where a position is: its node, the offset in it, and the text in front of the node.
    struct Location {
        NodeId node = kNil;
        std::size_t offset = 0;
        Summary before;
    };

    const std::string loaded;  // never changed, so the chunks' views into it stay valid
    const std::vector<std::string> markers;
    const std::size_t reach;
    Watcher* const watcher;
    bool startsMarker[256] = {};  // by byte: whether a marker starts with it
    std::vector<Node> nodes;
    std::vector<Token> tokens;
    NodeId root = kNil;
    std::size_t chunk;
    std::uint64_t random = 0x9E3779B97F4A7C15u;
    std::vector<NodeId> path;  // scratch for Merge

    Tree(std::string loadedText, std::span<const std::string_view> markerList,
         std::size_t reachOfToken, std::size_t chunkSize, Watcher* tokenWatcher)
        : loaded(std::move(loadedText)),
          markers(markerList.begin(),
                  markerList.begin() + std::min(markerList.size(), kMaxMarkers)),
          reach(std::max<std::size_t>(reachOfToken, 1)),
          watcher(tokenWatcher),
          chunk(std::clamp<std::size_t>(chunkSize, 1, 1 << 20)) {
        const std::string_view text = loaded;
        for (std::size_t begin = 0; begin < text.size(); begin += chunk) {
            NewNode(text.substr(begin, chunk), /*copy=*/false);
        }
        root = BuildTree();
        // All nodes but the last hold `chunk` bytes, so a position's node is found by division.
        for (std::size_t m = 0; m < markers.size(); ++m) {
            if (markers[m].empty()) {
                continue;
            }
            startsMarker[static_cast<unsigned char>(markers[m][0])] = true;
            for (std::size_t at = text.find(markers[m]); at != std::string_view::npos;
                 at = text.find(markers[m], at + 1)) {
                Anchor(m, static_cast<NodeId>(at / chunk), at % chunk);
            }
        }
        RefreshAll();
    }

    // ---- bytes and summaries

    std::string_view Bytes(NodeId x) const {
        return nodes[x].isEdited ? std::string_view(nodes[x].edited) : nodes[x].loaded;
    }
    std::string& Edit(NodeId x) {
        Node& node = nodes[x];
        if (!node.isEdited) {
            node.edited = node.loaded;
            node.isEdited = true;
        }
        return node.edited;
    }
    const Summary& All(NodeId x) const {
        static const Summary kEmpty;
        return x == kNil ? kEmpty : nodes[x].all;
    }
    std::size_t Size() const { return All(root).size; }

    NodeId NewNode(std::string_view bytes, bool copy = true) {
        random ^= random << 13;
        random ^= random >> 7;
        random ^= random << 17;
        Node node;
        if (copy) {
            node.edited = bytes;
            node.isEdited = true;
        } else {
            node.loaded = bytes;
        }
        node.priority = random;
        nodes.push_back(std::move(node));
        const NodeId id = static_cast<NodeId>(nodes.size() - 1);
        RecountOwn(id);
        return id;
    }

    void RecountOwn(NodeId x) {
        Summary own = OfBytes(Bytes(x));
        for (TokenId t : nodes[x].tokens) {
            ++own.tokens[tokens[t].marker];
        }
        nodes[x].own = own;
        nodes[x].all = All(nodes[x].left) + own + All(nodes[x].right);
    }

    void Refresh(NodeId x) {
        Node& node = nodes[x];
        node.all = All(node.left) + node.own + All(node.right);
    }
    void RefreshUp(NodeId x) {
        for (; x != kNil; x = nodes[x].parent) {
            Refresh(x);
        }
    }

    // The treap over the nodes in their present order, in one pass with a stack of its right
    // spine. The summaries are left to RefreshAll.
    NodeId BuildTree() {
        std::vector<NodeId> spine;
        for (NodeId x = 0; x < nodes.size(); ++x) {
            NodeId last = kNil;
            while (!spine.empty() && nodes[spine.back()].priority < nodes[x].priority) {
                last = spine.back();
                spine.pop_back();
            }
            nodes[x].left = last;
            if (last != kNil) {
                nodes[last].parent = x;
            }
            if (!spine.empty()) {
                nodes[spine.back()].right = x;
                nodes[x].parent = spine.back();
            }
            spine.push_back(x);
        }
        return spine.empty() ? kNil : spine.front();
    }

    void RefreshAll() {
        std::vector<NodeId> order;
        if (root != kNil) {
            order.push_back(root);
        }
        for (std::size_t i = 0; i < order.size(); ++i) {
            for (NodeId child : {nodes[order[i]].left, nodes[order[i]].right}) {
                if (child != kNil) {
                    order.push_back(child);
                }
            }
        }
        for (std::size_t i = order.size(); i-- > 0;) {
            Refresh(order[i]);
        }
    }

    // ---- where things stand

    std::size_t StartOf(NodeId x) const {
        std::size_t start = All(nodes[x].left).size;
        for (NodeId child = x, up = nodes[x].parent; up != kNil;
             child = up, up = nodes[up].parent) {
            if (nodes[up].right == child) {
                start += All(nodes[up].left).size + nodes[up].own.size;
            }
        }
        return start;
    }

    std::size_t PositionOf(TokenId t) const { return StartOf(tokens[t].node) + tokens[t].offset; }

    // `at` must lie inside the text.
    Location Locate(std::size_t at) const {
        Location location;
        for (NodeId x = root; x != kNil;) {
            const Summary& left = All(nodes[x].left);
            const std::size_t ownStart = location.before.size + left.size;
            if (at < ownStart) {
                x = nodes[x].left;
            } else if (at < ownStart + nodes[x].own.size) {
                location.before += left;
                location.node = x;
                location.offset = at - ownStart;
                return location;
            } else {
                location.before += left;
                location.before += nodes[x].own;
                x = nodes[x].right;
            }
        }
        return location;
    }

    NodeId Successor(NodeId x) const {
        if (nodes[x].right != kNil) {
            x = nodes[x].right;
            while (nodes[x].left != kNil) {
                x = nodes[x].left;
            }
            return x;
        }
        while (nodes[x].parent != kNil && nodes[nodes[x].parent].right == x) {
            x = nodes[x].parent;
        }
        return nodes[x].parent;
    }

    // The first node after `x` whose chunk `holds(before, chunk)`, where `before` is the text in
    // front of what is asked about; subtrees that `holds` rules out are passed over whole. On
    // entry `before` covers the text through x's chunk; on return, the text in front of the
    // node found.
    template <class Holds>
    NodeId NextHolding(NodeId x, Summary& before, const Holds& holds) const {
        for (NodeId cur = x;;) {
            const NodeId right = nodes[cur].right;
            if (right != kNil) {
                if (holds(before, nodes[right].all)) {
                    return FirstHolding(right, before, holds);
                }
                before += nodes[right].all;
            }
            while (nodes[cur].parent != kNil && nodes[nodes[cur].parent].right == cur) {
                cur = nodes[cur].parent;
            }
            cur = nodes[cur].parent;
            if (cur == kNil) {
                return kNil;
            }
            if (holds(before, nodes[cur].own)) {
                return cur;
            }
            before += nodes[cur].own;
        }
    }

    template <class Holds>
    NodeId FirstHolding(NodeId x, Summary& before, const Holds& holds) const {
        while (x != kNil) {
            const NodeId left = nodes[x].left;
            if (left != kNil) {
                if (holds(before, nodes[left].all)) {
                    x = left;
                    continue;
                }
                before += nodes[left].all;
            }
            if (holds(before, nodes[x].own)) {
                return x;
            }
            before += nodes[x].own;
            x = nodes[x].right;
        }
        return kNil;
    }

    // The last node before `x` whose chunk `holds` (a test of the chunk's counts alone).
    template <class Holds>
    NodeId PrevHolding(NodeId x, const Holds& holds) const {
        for (NodeId cur = x;;) {
            const NodeId left = nodes[cur].left;
            if (left != kNil && holds(nodes[left].all)) {
                return LastHolding(left, holds);
            }
            while (nodes[cur].parent != kNil && nodes[nodes[cur].parent].left == cur) {
                cur = nodes[cur].parent;
            }
            cur = nodes[cur].parent;
            if (cur == kNil) {
                return kNil;
            }
            if (holds(nodes[cur].own)) {
                return cur;
            }
        }
    }

    template <class Holds>
    NodeId LastHolding(NodeId x, const Holds& holds) const {
        while (x != kNil) {
            const NodeId right = nodes[x].right;
            if (right != kNil && holds(nodes[right].all)) {
                x = right;
            } else if (holds(nodes[x].own)) {
                return x;
            } else {
                x = nodes[x].left;
            }
        }
        return kNil;
    }

    // ---- searches

    // The first '{' or ')' at or after `from`.
    Position FindByte(char wanted, Position from) const {
        if (from >= Size()) {
            return kNone;
        }
        const Location at = Locate(from);
        const std::size_t inChunk = Bytes(at.node).find(wanted, at.offset);
        if (inChunk != std::string_view::npos) {
            return at.before.size + inChunk;
        }
        Summary before = at.before + nodes[at.node].own;
        const NodeId x = NextHolding(at.node, before, [wanted](const Summary&, const Summary& s) {
            return (wanted == '{' ? s.opens : s.parens) > 0;
        });
        return x == kNil ? kNone : before.size + Bytes(x).find(wanted);
    }

    // The last '{' at or before `at`.
    Position FindLastOpen(Position at) const {
        if (Size() == 0) {
            return kNone;
        }
        const Location location = Locate(std::min(at, Size() - 1));
        const std::size_t inChunk = Bytes(location.node).rfind('{', location.offset);
        if (inChunk != std::string_view::npos) {
            return location.before.size + inChunk;
        }
        const NodeId x = PrevHolding(location.node, [](const Summary& s) { return s.opens > 0; });
        return x == kNil ? kNone : StartOf(x) + Bytes(x).rfind('{');
    }

    // The '}' matching the '{' at `open`.
    Position FindClose(Position open) const {
        const Location at = Locate(open);
        const std::string_view bytes = Bytes(at.node);
        const std::int64_t outside = at.before.depth + OfBytes(bytes.substr(0, at.offset)).depth;
        std::int64_t depth = outside + 1;
        for (std::size_t i = at.offset + 1; i < bytes.size(); ++i) {
            depth += bytes[i] == '{' ? 1 : bytes[i] == '}' ? -1 : 0;
            if (depth == outside) {
                return at.before.size + i;
            }
        }
        Summary before = at.before + nodes[at.node].own;
        const NodeId x =
            NextHolding(at.node, before, [outside](const Summary& b, const Summary& s) {
                return b.depth + s.lowest <= outside;
            });
        if (x == kNil) {
            return kNone;
        }
        depth = before.depth;
        const std::string_view closing = Bytes(x);
        for (std::size_t i = 0;; ++i) {
            depth += closing[i] == '{' ? 1 : closing[i] == '}' ? -1 : 0;
            if (depth == outside) {
                return before.size + i;
            }
        }
    }

    Position FindBlockEnd(Position from) const {
        const Position open = FindByte('{', from);
        return open == kNone ? kNone : FindClose(open);
    }

    // The last token of `marker` that starts at or before `at`.
    std::optional<TokenId> LastToken(std::size_t marker, Position at) const {
        if (Size() == 0 || marker >= markers.size()) {
            return std::nullopt;
        }
        const Location location = Locate(std::min(at, Size() - 1));
        const auto& own = nodes[location.node].tokens;
        for (auto t = own.rbegin(); t != own.rend(); ++t) {
            if (tokens[*t].offset <= location.offset && tokens[*t].marker == marker) {
                return *t;
            }
        }
        const NodeId x =
            PrevHolding(location.node, [marker](const Summary& s) { return s.tokens[marker] > 0; });
        if (x == kNil) {
            return std::nullopt;
        }
        for (auto t = nodes[x].tokens.rbegin();; ++t) {
            if (tokens[*t].marker == marker) {
                return *t;
            }
        }
    }

    std::string Slice(Position from, Position to) const {
        std::string slice;
        if (from >= to) {
            return slice;
        }
        const Location at = Locate(from);
        std::size_t offset = at.offset;
        for (NodeId x = at.node; x != kNil && slice.size() < to - from; x = Successor(x)) {
            slice.append(Bytes(x).substr(offset, to - from - slice.size()));
            offset = 0;
        }
        return slice;
    }

    template <class Take>
    void ForEachPiece(const Take& take) const {
        NodeId x = root;
        while (x != kNil && nodes[x].left != kNil) {
            x = nodes[x].left;
        }
        for (; x != kNil; x = Successor(x)) {
            take(Bytes(x));
        }
    }

    template <class Take>
    void ForEachToken(std::size_t marker, const Take& take) const {
        NodeId x = root;
        while (x != kNil && nodes[x].left != kNil) {
            x = nodes[x].left;
        }
        std::string across;  // a token's bytes that run on into the next chunks
        for (; x != kNil; x = Successor(x)) {
            const std::string_view bytes = Bytes(x);
            for (TokenId t : nodes[x].tokens) {
                if (tokens[t].marker != marker) {
                    continue;
                }
                const std::size_t offset = tokens[t].offset;
                if (offset + reach <= bytes.size()) {
                    take(t, bytes.substr(offset));
                    continue;
                }
                across.assign(bytes.substr(offset));
                for (NodeId next = Successor(x); next != kNil && across.size() < reach;
                     next = Successor(next)) {
                    across.append(Bytes(next).substr(0, reach - across.size()));
                }
                take(t, std::string_view(across));
            }
        }
    }

    // ---- tokens

    // The marker that starts at `at` in `bytes`.
    std::optional<std::size_t> MarkerAt(std::string_view bytes, std::size_t at) const {
        const std::string_view rest = bytes.substr(at);
        if (rest.empty() || !startsMarker[static_cast<unsigned char>(rest[0])]) {
            return std::nullopt;
        }
        for (std::size_t m = 0; m < markers.size(); ++m) {
            if (!markers[m].empty() && rest.starts_with(markers[m])) {
                return m;
            }
        }
        return std::nullopt;
    }

    // Puts a token into the node's list, which stays in offset order; counts it only in `own`.
    TokenId Anchor(std::size_t marker, NodeId node, std::size_t offset) {
        const TokenId id = static_cast<TokenId>(tokens.size());
        tokens.push_back(
            Token{node, static_cast<std::uint32_t>(offset), static_cast<std::uint8_t>(marker)});
        auto& list = nodes[node].tokens;
        const auto after =
            std::upper_bound(list.begin(), list.end(), offset,
                             [this](std::size_t o, TokenId t) { return o < tokens[t].offset; });
        list.insert(after, id);
        ++nodes[node].own.tokens[marker];
        return id;
    }

    void Forget(TokenId id) const {
        if (watcher != nullptr) {
            watcher->Gone(id);
        }
    }

    // Finds again the tokens that start in [from, to), after an edit that joined bytes there.
    void Rescan(Position from, Position to) {
        to = std::min(to, Size());
        if (from >= to) {
            return;
        }
        // Forget the old ones.
        const Location at = Locate(from);
        std::size_t start = at.before.size;
        for (NodeId x = at.node; x != kNil && start < to;
             start += Bytes(x).size(), x = Successor(x)) {
            auto& list = nodes[x].tokens;
            const auto gone = std::stable_partition(list.begin(), list.end(), [&](TokenId t) {
                const std::size_t p = start + tokens[t].offset;
                return p < from || p >= to;
            });
            if (gone == list.end()) {
                continue;
            }
            for (auto t = gone; t != list.end(); ++t) {
                Forget(*t);
            }
            list.erase(gone, list.end());
            RecountOwn(x);
            RefreshUp(x);
        }
        // Read the bytes as they stand now.
        const std::string bytes = Slice(from, std::min(Size(), to + reach - 1));
        for (std::size_t i = 0; i < to - from; ++i) {
            const std::optional<std::size_t> marker = MarkerAt(bytes, i);
            if (marker) {
                const Location place = Locate(from + i);
                const TokenId id = Anchor(*marker, place.node, place.offset);
                RefreshUp(place.node);
                if (watcher != nullptr) {
                    watcher->Appeared(id, *marker, std::string_view(bytes).substr(i));
                }
            }
        }
    }

    // ---- edits

    // Shifts the tokens of `x` at or after `from` by `by` bytes.
    void ShiftTokens(NodeId x, std::size_t from, std::ptrdiff_t by) {
        for (TokenId t : nodes[x].tokens) {
            if (tokens[t].offset >= from) {
                tokens[t].offset = static_cast<std::uint32_t>(tokens[t].offset + by);
            }
        }
    }

    // Hangs the new node `y` into the tree right after `x` (first of all when x is kNil), as a
    // leaf, then lifts it to its place by its priority.
    void HangAfter(NodeId x, NodeId y) {
        if (root == kNil) {
            root = y;
            return;
        }
        NodeId parent = x;
        bool onLeft = false;
        if (x == kNil || nodes[x].right != kNil) {
            parent = x == kNil ? root : nodes[x].right;
            while (nodes[parent].left != kNil) {
                parent = nodes[parent].left;
            }
            onLeft = true;
        }
        (onLeft ? nodes[parent].left : nodes[parent].right) = y;
        nodes[y].parent = parent;
        RefreshUp(y);
        while (nodes[y].parent != kNil && nodes[y].priority > nodes[nodes[y].parent].priority) {
            RotateUp(y);
        }
    }

    // Moves the bytes of `x` from `at` on into a new node right after it.
    void SplitNode(NodeId x, std::size_t at) {
        const NodeId y = NewNode(Bytes(x).substr(at));
        Edit(x).resize(at);
        auto& list = nodes[x].tokens;
        const auto moved = std::find_if(list.begin(), list.end(),
                                        [&](TokenId t) { return tokens[t].offset >= at; });
        for (auto t = moved; t != list.end(); ++t) {
            tokens[*t].node = y;
            tokens[*t].offset = static_cast<std::uint32_t>(tokens[*t].offset - at);
            nodes[y].tokens.push_back(*t);
        }
        list.erase(moved, list.end());
        RecountOwn(x);
        RecountOwn(y);
        HangAfter(x, y);  // refreshes x and its ancestors on the way up from y
    }

    void RemoveNode(NodeId x) {
        std::string().swap(nodes[x].edited);
        nodes[x].loaded = {};
        const NodeId parent = nodes[x].parent;
        const NodeId merged = Merge(nodes[x].left, nodes[x].right);
        if (merged != kNil) {
            nodes[merged].parent = parent;
        }
        if (parent == kNil) {
            root = merged;
        } else {
            (nodes[parent].left == x ? nodes[parent].left : nodes[parent].right) = merged;
            RefreshUp(parent);
        }
    }

    void RotateUp(NodeId y) {
        const NodeId p = nodes[y].parent;
        const NodeId g = nodes[p].parent;
        if (nodes[p].left == y) {
            nodes[p].left = nodes[y].right;
            if (nodes[y].right != kNil) {
                nodes[nodes[y].right].parent = p;
            }
            nodes[y].right = p;
        } else {
            nodes[p].right = nodes[y].left;
            if (nodes[y].left != kNil) {
                nodes[nodes[y].left].parent = p;
            }
            nodes[y].left = p;
        }
        nodes[p].parent = y;
        nodes[y].parent = g;
        if (g == kNil) {
            root = y;
        } else if (nodes[g].left == p) {
            nodes[g].left = y;
        } else {
            nodes[g].right = y;
        }
        Refresh(p);
        Refresh(y);
    }

    // Joins two trees, all of `a` in front of all of `b`.
    NodeId Merge(NodeId a, NodeId b) {
        NodeId merged = kNil;
        NodeId* hook = &merged;
        NodeId parent = kNil;
        path.clear();
        while (a != kNil && b != kNil) {
            const bool aOnTop = nodes[a].priority > nodes[b].priority;
            const NodeId x = aOnTop ? a : b;
            *hook = x;
            nodes[x].parent = parent;
            parent = x;
            path.push_back(x);
            // The node on top keeps its side; the rest of the other tree merges below it.
            if (aOnTop) {
                hook = &nodes[x].right;
                a = nodes[x].right;
            } else {
                hook = &nodes[x].left;
                b = nodes[x].left;
            }
        }
        *hook = a != kNil ? a : b;
        if (*hook != kNil) {
            nodes[*hook].parent = parent;
        }
        for (auto x = path.rbegin(); x != path.rend(); ++x) {
            Refresh(*x);
        }
        return merged;
    }

    // Removes [from, to), chunk by chunk.
    void Erase(Position from, Position to) {
        for (std::size_t left = to - from; left > 0;) {
            const Location at = Locate(from);
            const NodeId x = at.node;
            const std::size_t cut = std::min(left, Bytes(x).size() - at.offset);
            auto& list = nodes[x].tokens;
            const auto gone = std::stable_partition(list.begin(), list.end(), [&](TokenId t) {
                return tokens[t].offset < at.offset || tokens[t].offset >= at.offset + cut;
            });
            for (auto t = gone; t != list.end(); ++t) {
                Forget(*t);
            }
            list.erase(gone, list.end());
            ShiftTokens(x, at.offset + cut, -static_cast<std::ptrdiff_t>(cut));
            if (Edit(x).erase(at.offset, cut).empty()) {
                RemoveNode(x);
            } else {
                RecountOwn(x);
                RefreshUp(x);
            }
            left -= cut;
        }
        Rescan(from - std::min(from, reach - 1), from);
    }

    void Insert(Position at, std::string_view bytes) {
        if (bytes.empty()) {
            return;
        }
        // The node that ends at or holds the byte in front of `at`, and where in it `at` is.
        NodeId x = kNil;
        std::size_t offset = 0;
        if (at > 0) {
            const Location before = Locate(at - 1);
            x = before.node;
            offset = before.offset + 1;
        } else if (root != kNil) {
            x = root;
            while (nodes[x].left != kNil) {
                x = nodes[x].left;
            }
        }
        if (x != kNil && bytes.size() <= chunk) {
            Edit(x).insert(offset, bytes);
            ShiftTokens(x, offset, static_cast<std::ptrdiff_t>(bytes.size()));
            RecountOwn(x);
            RefreshUp(x);
            if (Bytes(x).size() > 2 * chunk) {
                SplitNode(x, Bytes(x).size() / 2);
            }
        } else {
            // Long bytes get nodes of their own after the bytes in front of them.
            if (x != kNil && offset > 0 && offset < Bytes(x).size()) {
                SplitNode(x, offset);
            }
            NodeId previous = at > 0 ? x : kNil;
            for (std::size_t piece = 0; piece < bytes.size(); piece += chunk) {
                const NodeId y = NewNode(bytes.substr(piece, chunk));
                HangAfter(previous, y);
                previous = y;
            }
        }
        // What starts in front of `at` stays as it was: the caller inserts where no token reaches
        // across.
        Rescan(at, at + bytes.size());
    }
};

TextTree::TextTree(std::string text, std::span<const std::string_view> markers, std::size_t reach,
                   std::size_t chunk, Watcher* watcher)
    : tree_(std::make_unique<Tree>(std::move(text), markers, reach, chunk, watcher)) {}
TextTree::TextTree(TextTree&&) noexcept = default;
TextTree& TextTree::operator=(TextTree&&) noexcept = default;
TextTree::~TextTree() = default;

std::size_t TextTree::Size() const {
    return tree_->Size();
}

void TextTree::ForEachPiece(const std::function<void(std::string_view piece)>& take) const {
    tree_->ForEachPiece(take);
}

std::string TextTree::Slice(Position from, Position to) const {
    return tree_->Slice(from, std::min(to, Size()));
}

Position TextTree::FindByte(char wanted, Position from) const {
    return tree_->FindByte(wanted, from);
}

Position TextTree::FindLastOpen(Position at) const {
    return tree_->FindLastOpen(at);
}

Position TextTree::FindClose(Position open) const {
    return tree_->FindClose(open);
}

Position TextTree::FindBlockEnd(Position from) const {
    return tree_->FindBlockEnd(from);
}

Position TextTree::PositionOf(TokenId token) const {
    return tree_->PositionOf(token);
}

std::optional<TextTree::TokenId> TextTree::LastToken(std::size_t marker, Position at) const {
    return tree_->LastToken(marker, at);
}

void TextTree::ForEachToken(
    std::size_t marker,
    const std::function<void(TokenId token, std::string_view from)>& take) const {
    tree_->ForEachToken(marker, take);
}

void TextTree::Erase(Position from, Position to) {
    tree_->Erase(from, to);
}

void TextTree::Insert(Position at, std::string_view bytes) {
    tree_->Insert(at, bytes);
}

}  // namespace kolvane::text
