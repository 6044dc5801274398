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
    // A key: its identifier and the token that begins it.
    using Key = std::pair<int, TokenId>;

    // Orders keys by identifier, and one identifier's by where they stand now: edits never
    // reorder bytes that stay. An identifier alone stands in front of all its keys.
    struct ByKey {
        using is_transparent = void;
        const TextTree* text;
        bool operator()(const Key& a, const Key& b) const {
            return a.first != b.first ? a.first < b.first
                                      : text->PositionOf(a.second) < text->PositionOf(b.second);
        }
        bool operator()(const Key& a, int identifier) const { return a.first < identifier; }
        bool operator()(int identifier, const Key& b) const { return identifier <= b.first; }
    };
    using KeySet = std::set<Key, ByKey>;

    KeySet keys{ByKey{&text}};
    std::vector<KeySet::iterator> inKeys;  // by token: where it stands among the keys, or end()
    TextTree text;

    State(std::string loaded, std::size_t chunk)
        : text(std::move(loaded), kMarkers, kLongestKey, chunk, this) {
        std::vector<Key> found;  // by identifier, then in text order
        text.ForEachToken(kKeyMarker, [&found](TokenId token, std::string_view from) {
            const std::optional<int> key = KeyOf(kKeyMarker, from);
            if (key) {
                found.emplace_back(*key, token);
            }
        });
        TokenId last = 0;
        for (const Key& key : found) {
            last = std::max(last, key.second);
        }
        inKeys.assign(found.empty() ? 0 : last + 1, keys.end());
        std::stable_sort(found.begin(), found.end(),
                         [](const Key& a, const Key& b) { return a.first < b.first; });
        for (const Key& key : found) {
            inKeys[key.second] = keys.emplace_hint(keys.end(), key);
        }
    }

    void Appeared(TokenId token, std::size_t marker, std::string_view from) override {
        const std::optional<int> key = KeyOf(marker, from);
        if (key) {
            while (inKeys.size() <= token) {
                inKeys.push_back(keys.end());
            }
            inKeys[token] = keys.emplace(*key, token).first;
        }
    }

    void Gone(TokenId token) override {
        if (token < inKeys.size() && inKeys[token] != keys.end()) {
            keys.erase(inKeys[token]);
            inKeys[token] = keys.end();
        }
    }

    bool RemoveTexture(int identifier) {
        const auto key = keys.lower_bound(identifier);
        if (key == keys.end() || key->first != identifier) {
            return false;
        }
        const std::optional<TokenId> start =
            text.LastToken(kEntryMarker, text.PositionOf(key->second));
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
            const int nearest = below == keys.begin() ? 0 : std::prev(below)->first;
            if (nearest >= 1) {
                const Position key = text.PositionOf(keys.lower_bound(nearest)->second);
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
