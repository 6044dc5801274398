#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The texture catalogue as text: its canonical layout and the markers its entries carry. Plain
// byte operations, with no file behind them; placing entries is EditableText's.
namespace kolvane::catalog {

// A position in the text, or none.
using Position = std::size_t;
inline constexpr Position kNone = std::string::npos;

// The text's words (runs of bytes other than blank, TAB, LF, VT, FF and CR), each followed by
// the separator its last byte calls for: TAB after ')' and '{', LF and two TABs after '}',
// nothing after any other byte.
std::string CanonicalLayout(std::string_view text);

// CanonicalLayout of a text that comes in pieces, as if they were one.
class LayoutBuilder {
  public:
    // `expected`: about how many bytes will come.
    explicit LayoutBuilder(std::size_t expected) { laidOut_.reserve(expected + expected / 8); }
    void Append(std::string_view piece);
    std::string Finish();

  private:
    std::string laidOut_;
    bool inWord_ = false;
    char last_ = 0;  // of the word last appended
};

// The same text with every LF written as CR LF: the bytes of the catalogue file.
std::string WithCrLf(std::string_view text);

// The start of every entry of the catalogue, and of the key by which an entry carries its
// identifier: "id(" + decimal + ")", the decimal without leading zeros, '-' for a negative one.
inline constexpr std::string_view kEntryStart = "Textur{";
inline constexpr std::string_view kKeyPrefix = "id(";

std::string IdentifierKey(int identifier);

// The identifier whose key starts with `afterPrefix` (the bytes after kKeyPrefix), when they
// spell one: the number as IdentifierKey writes it, then ')'.
std::optional<int> KeyAfterPrefix(std::string_view afterPrefix);

// The '}' that closes the first '{' at or after `from`; none when `from` is outside the text,
// when no '{' follows, or when that block is never closed.
Position FindBlockEnd(std::string_view text, Position from);

}  // namespace kolvane::catalog
