#include "textures/editable_text.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "textures/text_tree.h"

namespace kolvane::catalog {
namespace {

using text::TextTree;
using TokenId = TextTree::TokenId;

// The tokens the text tree keeps, in the order of these markers: where entries start, and where
// "id(" starts, which begins an identifier key when a whole one follows.
enum Marker : std::size_t { kEntryMarker, kKeyMarker };
constexpr std::string_view kMarkers[] = {kEntryStart, kKeyPrefix};

// The longest identifier key, "id(-2147483648)": what a token means is read from this many bytes
// from its start.
constexpr std::size_t kLongestKey = 15;

// The identifier whose key a token begins, when it begins one.
std::optional<int> KeyOf(std::size_t marker, std::string_view from) {
    if (marker != kKeyMarker) {
        return std::nullopt;
    }
    return KeyAfterPrefix(from.substr(kKeyPrefix.size()));
}

}  // namespace

// The catalogue's rules over the text tree: which "id(" tokens are keys and of which identifier,
// and where a block with a given identifier belongs. The keys are kept in one set, by identifier
// and then in text order, which the tree's watcher keeps up to date with every edit.
struct EditableText::State final : TextTree::Watcher {
    // Orders keys by identifier, and one identifier's by where they stand now: edits never
    // reorder bytes that stay. An identifier alone stands in front of all its keys.
    struct ByKey {
        using is_transparent = void;
        const State* state;
        bool operator()(TokenId a, TokenId b) const {
            const int ka = *state->marks[a].key;
            const int kb = *state->marks[b].key;
            return ka != kb ? ka < kb : state->text.PositionOf(a) < state->text.PositionOf(b);
        }
        bool operator()(TokenId a, int identifier) const {
            return *state->marks[a].key < identifier;
        }
        bool operator()(int identifier, TokenId b) const {
            return identifier <= *state->marks[b].key;
        }
    };
    using KeySet = std::set<TokenId, ByKey>;

    // What a token of the tree means here, by its id.
    struct Mark {
        std::optional<int> key;     // "id(" tokens that begin a whole identifier key
        KeySet::iterator inKeys{};  // where it stands among the keys, when it is one
    };

    std::vector<Mark> marks;
    KeySet keys{ByKey{this}};
    TextTree text;

    State(std::string loaded, std::size_t chunk)
        : text(std::move(loaded), kMarkers, kLongestKey, chunk, this) {
        std::vector<std::pair<int, TokenId>> found;  // the keys, by identifier then in text order
        text.ForEachToken([&](TokenId token, std::size_t marker, std::string_view from) {
            const std::optional<int> key = KeyOf(marker, from);
            if (key) {
                MarkAsKey(token, *key);
                found.emplace_back(*key, token);
            }
        });
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [key, token] : found) {
            marks[token].inKeys = keys.emplace_hint(keys.end(), token);
        }
    }

    void MarkAsKey(TokenId token, int key) {
        while (marks.size() <= token) {
            marks.emplace_back();
        }
        marks[token].key = key;
    }

    void Appeared(TokenId token, std::size_t marker, std::string_view from) override {
        const std::optional<int> key = KeyOf(marker, from);
        if (key) {
            MarkAsKey(token, *key);
            marks[token].inKeys = keys.insert(token).first;
        }
    }

    void Gone(TokenId token) override {
        if (token < marks.size() && marks[token].key) {
            keys.erase(marks[token].inKeys);
            marks[token].key.reset();
        }
    }

    bool RemoveTexture(int identifier) {
        const auto key = keys.lower_bound(identifier);
        if (key == keys.end() || *marks[*key].key != identifier) {
            return false;
        }
        const std::optional<TokenId> start = text.LastToken(kEntryMarker, text.PositionOf(*key));
        if (!start) {
            return false;
        }
        // The first '{' from the start of "Textur{" is its own.
        const Position from = text.PositionOf(*start);
        const Position end = text.FindClose(from + kEntryStart.size() - 1);
        if (end == kNone) {
            return false;
        }
        text.Erase(from, end + 1);
        return true;
    }

    std::pair<Position, InsertedAt> Place(int identifier) const {
        if (identifier > 1) {
            const auto below = keys.lower_bound(identifier);
            const int nearest = below == keys.begin() ? 0 : *marks[*std::prev(below)].key;
            if (nearest >= 1) {
                const Position key = text.PositionOf(*keys.lower_bound(nearest));
                const Position open = text.FindLastOpen(key);
                if (open == kNone) {
                    return {0, InsertedAt::kTextStart};
                }
                const Position end = text.FindClose(open);
                if (end != kNone) {
                    return {end + 1, InsertedAt::kAfterBlock};
                }
                // An unclosed block is no block: the place for the lowest identifiers.
            }
        }
        const Position first = text.FindByte('{', 0);
        if (first == kNone) {
            return {0, InsertedAt::kTextStart};
        }
        return {first + 1, InsertedAt::kAfterFirstBrace};
    }

    std::string KeyInFront(Position position) const {
        position = std::min(position, text.Size());
        if (position == 0) {
            return {};
        }
        const std::optional<TokenId> mark = text.LastToken(kKeyMarker, position - 1);
        if (!mark) {
            return {};
        }
        const Position at = text.PositionOf(*mark);
        const Position close = text.FindByte(')', at);
        return close == kNone || close >= position ? std::string() : text.Slice(at, close + 1);
    }
};

EditableText::EditableText(std::string text, std::size_t chunk)
    : state_(std::make_unique<State>(std::move(text), chunk)) {}
EditableText::EditableText(EditableText&&) noexcept = default;
EditableText& EditableText::operator=(EditableText&&) noexcept = default;
EditableText::~EditableText() = default;

std::size_t EditableText::Size() const {
    return state_->text.Size();
}

std::string EditableText::Text() const {
    std::string text;
    text.reserve(Size());
    state_->text.ForEachPiece([&text](std::string_view piece) { text.append(piece); });
    return text;
}

void EditableText::ForEachPiece(const std::function<void(std::string_view piece)>& take) const {
    state_->text.ForEachPiece(take);
}

Position EditableText::FindBlockEnd(Position from) const {
    return state_->text.FindBlockEnd(from);
}

bool EditableText::RemoveTexture(int identifier) {
    return state_->RemoveTexture(identifier);
}

Position EditableText::FindInsertPosition(int identifier) const {
    return state_->Place(identifier).first;
}

Placement EditableText::AddTexture(int identifier, std::string_view definition) {
    Placement placement;
    placement.replaced = state_->RemoveTexture(identifier);
    std::tie(placement.position, placement.at) = state_->Place(identifier);
    // Definitions go in right after a brace or at the start. No token reaches across a brace
    // ('{' only ends "Textur{", and no key holds one), as the tree's Insert asks.
    state_->text.Insert(placement.position, definition);
    return placement;
}

std::string EditableText::KeyInFront(Position position) const {
    return state_->KeyInFront(position);
}

}  // namespace kolvane::catalog
