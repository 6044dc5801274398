#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "textures/catalog_text.h"

namespace kolvane::catalog {

// Which rule chose an insert position.
enum class InsertedAt {
    kTextStart,        // position 0: no '{' in front of the lower key, or none in the text
    kAfterFirstBrace,  // no lower key (or its block is never closed): after the text's first '{'
    kAfterBlock,       // right after the '}' closing the block around the nearest lower key
};

// What AddTexture did: whether an entry carrying the identifier was removed, and where the
// definition was inserted (in the text as it stands afterwards) by which rule.
struct Placement {
    bool replaced = false;
    Position position = 0;
    InsertedAt at = InsertedAt::kTextStart;
};

// The catalogue text while textures are placed into it. Each operation gives exactly what the
// same plain search-and-splice on one string would give, byte for byte, but costs a logarithmic
// number of steps in the size of the text instead of a scan of it: the text is a TextTree, a
// balanced tree of chunks that counts braces per subtree and keeps the places where "Textur{" and
// "id(" start up to date with every edit, and the identifier keys among them are kept by number.
class EditableText {
  public:
    static constexpr std::size_t kDefaultChunk = 512;

    // `chunk` bounds the bytes of one tree node; it changes the speed only.
    explicit EditableText(std::string text, std::size_t chunk = kDefaultChunk);
    EditableText(EditableText&&) noexcept;
    EditableText& operator=(EditableText&&) noexcept;
    ~EditableText();

    std::size_t Size() const;
    std::string Text() const;
    // Hands the text over in pieces, in order, without spelling it out as a whole.
    void ForEachPiece(const std::function<void(std::string_view piece)>& take) const;

    // The '}' that closes the first '{' at or after `from`; none when `from` is outside the
    // text, when no '{' follows, or when that block is never closed.
    Position FindBlockEnd(Position from) const;

    // Removes the entry that carries the first occurrence of the key of `identifier`: the block
    // from the last "Textur{" at or before the key through its closing '}'. True when one was
    // removed; a key with no "Textur{" in front of it or an unclosed block removes nothing.
    bool RemoveTexture(int identifier);

    // Where a definition with `identifier` goes: right after the block that holds the first key
    // of the nearest lower positive identifier present (after the '}' closing the last '{' in
    // front of that key; position 0 with no '{' there), else right after the first '{' of the
    // text (0 with none). An unclosed block around the lower key counts as no such key.
    Position FindInsertPosition(int identifier) const;

    // Removes the entry of `identifier`, then inserts `definition` unchanged where
    // FindInsertPosition says.
    Placement AddTexture(int identifier, std::string_view definition);

    // The text from the last "id(" that starts before `position` through the first ')' after
    // it, when that ')' stands before `position` too: the key a reader sees in front of it.
    // Empty otherwise.
    std::string KeyInFront(Position position) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kolvane::catalog
