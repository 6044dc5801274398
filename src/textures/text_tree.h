#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// A text of balanced braces that is edited in place: searches and edits cost a logarithmic number
// of steps in the size of the text instead of a scan of it.
namespace kolvane::text {

// A position in the text, or none.
using Position = std::size_t;
inline constexpr Position kNone = std::string::npos;

// The text is a balanced tree of chunks, and each subtree counts what it holds: its bytes, its
// '{' and ')', how deep its braces go, and its tokens. A token is a place where one of the
// markers the tree was given starts; the tree finds them again after every edit and tells its
// watcher which ones came and went, so that an owner can keep an index of its own over them.
class TextTree {
  public:
    using TokenId = std::uint32_t;
    static constexpr std::size_t kMaxMarkers = 2;  // the summaries count tokens of this many

    // Told of every token that an edit adds or removes. A token keeps its id until its bytes are
    // erased or an erasure less than `reach` bytes after its start makes the tree read it anew
    // (Gone, then Appeared under a new id). `Gone` comes while the token's position is still
    // known, `Appeared` once the tree stands complete again.
    class Watcher {
      public:
        // `from`: the text from the token's start, at least `reach` bytes of it where the text
        // holds them.
        virtual void Appeared(TokenId token, std::size_t marker, std::string_view from) = 0;
        virtual void Gone(TokenId token) = 0;

      protected:
        ~Watcher() = default;
    };

    // `markers`: at most kMaxMarkers non-empty strings, none the start of another. `reach`: how
    // many bytes from a token's start its watcher reads, at least the longest marker; an edit
    // finds again the tokens that start up to `reach` - 1 bytes in front of it. `chunk` bounds
    // the bytes of one tree node and changes the speed only. The watcher may be null, and is
    // not told of the tokens of `text` itself: ForEachToken reads those.
    TextTree(std::string text, std::span<const std::string_view> markers, std::size_t reach,
             std::size_t chunk, Watcher* watcher);
    TextTree(TextTree&&) noexcept;
    TextTree& operator=(TextTree&&) noexcept;
    ~TextTree();

    std::size_t Size() const;
    // Hands the text over in pieces, in order, without spelling it out as a whole.
    void ForEachPiece(const std::function<void(std::string_view piece)>& take) const;
    std::string Slice(Position from, Position to) const;

    // The first `wanted` at or after `from`; `wanted` is '{' or ')', the bytes the tree counts.
    Position FindByte(char wanted, Position from) const;
    // The last '{' at or before `at`.
    Position FindLastOpen(Position at) const;
    // The '}' matching the '{' at `open`; none when that block is never closed.
    Position FindClose(Position open) const;
    // The '}' that closes the first '{' at or after `from`; none when `from` is outside the
    // text, when no '{' follows, or when that block is never closed.
    Position FindBlockEnd(Position from) const;

    Position PositionOf(TokenId token) const;
    // The last token of `marker` (its index among the markers) that starts at or before `at`.
    std::optional<TokenId> LastToken(std::size_t marker, Position at) const;
    // Every token of `marker`, in text order, with the bytes the watcher's Appeared would get.
    void ForEachToken(std::size_t marker,
                      const std::function<void(TokenId token, std::string_view from)>& take) const;

    // Removes [from, to), which must lie inside the text.
    void Erase(Position from, Position to);
    // Inserts `bytes` at `at` (at most Size()) and finds the tokens that start in them. Tokens
    // that start in front of `at` are left as they are: insert only where none of them can
    // reach across (right after a byte that ends every token, or at the start).
    void Insert(Position at, std::string_view bytes);

  private:
    struct Tree;
    std::unique_ptr<Tree> tree_;
};

}  // namespace kolvane::text
