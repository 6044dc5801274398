#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The texture catalogue as text: its canonical layout and the placement of entries by
// identifier. Plain byte operations, with no file behind them.
namespace kolvane::catalog {

// A position in the text, or none.
using Position = std::size_t;
inline constexpr Position kNone = std::string::npos;

// The text's words (runs of bytes other than blank, TAB, LF, VT, FF and CR), each followed by
// the separator its last byte calls for: TAB after ')' and '{', LF and two TABs after '}',
// nothing after any other byte.
std::string CanonicalLayout(std::string_view text);

// The same text with every LF written as CR LF: the bytes of the catalogue file.
std::string WithCrLf(std::string_view text);

// "id(" + decimal + ")": the key by which an entry carries its identifier.
std::string IdentifierKey(int identifier);

// The '}' that closes the first '{' at or after `from`; none when `from` is outside the text,
// when no '{' follows, or when that block is never closed.
Position FindBlockEnd(std::string_view text, Position from);

// Removes the entry that carries the first occurrence of the key of `identifier`: the block
// from the last "Textur{" at or before the key through its closing '}'. True when one was
// removed; a key with no "Textur{" in front of it or an unclosed block removes nothing.
bool RemoveTexture(std::string& text, int identifier);

// Where a definition with `identifier` goes: right after the block that holds the first key of
// the nearest lower positive identifier present (after the '}' closing the last '{' in front of
// that key; position 0 with no '{' there), else right after the first '{' of the text (0 with
// none). An unclosed block around the lower key counts as no such key.
Position FindInsertPosition(std::string_view text, int identifier);

// What AddTexture did: whether an entry carrying the identifier was removed, and where the
// definition was inserted (in the text as it stands afterwards).
struct Placement {
    bool replaced = false;
    Position position = 0;
};

// Removes the entry of `identifier`, then inserts `definition` unchanged where
// FindInsertPosition says.
Placement AddTexture(std::string& text, int identifier, std::string_view definition);

}  // namespace kolvane::catalog
