#include "textures/text_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <tuple>
#include <vector>

namespace kolvane::text {
namespace {

using TokenId = TextTree::TokenId;
using Seen = std::tuple<Position, std::size_t, std::string>;  // where, which marker, its bytes

constexpr std::size_t kReach = 5;
constexpr std::string_view kMarkers[] = {"T{", "k("};

// An owner's index of the tokens, kept from what the tree reports: the tokens of the loaded text
// from ForEachToken, then every edit's through the watcher.
struct Index final : TextTree::Watcher {
    std::map<TokenId, std::pair<std::size_t, std::string>> live;

    void Add(TokenId token, std::size_t marker, std::string_view from) {
        EXPECT_TRUE(live.try_emplace(token, marker, from.substr(0, kReach)).second)
            << "token " << token << " reported twice";
    }
    void Appeared(TokenId token, std::size_t marker, std::string_view from) override {
        Add(token, marker, from);
    }
    void Gone(TokenId token) override { EXPECT_EQ(live.erase(token), 1u) << "token " << token; }

    std::vector<Seen> Where(const TextTree& tree) const {
        std::vector<Seen> seen;
        for (const auto& [token, what] : live) {
            seen.emplace_back(tree.PositionOf(token), what.first, what.second);
        }
        std::sort(seen.begin(), seen.end());
        return seen;
    }
};

std::vector<Seen> PlainTokens(const std::string& text) {
    std::vector<Seen> seen;
    for (Position at = 0; at < text.size(); ++at) {
        for (std::size_t m = 0; m < std::size(kMarkers); ++m) {
            if (std::string_view(text).substr(at).starts_with(kMarkers[m])) {
                seen.emplace_back(at, m, text.substr(at, kReach));
            }
        }
    }
    return seen;
}

// Random erasures anywhere, and insertions where no token reaches across, from fragments that
// make markers whole, split them and join them: the tokens the owner was told of stand where a
// plain search of the text finds them, with the bytes that follow them there.
TEST(TextTreeTest, TheWatcherHearsOfEveryTokenThatEditsMakeOrBreak) {
    const char* const fragments[] = {"T",    "{", "T{", "k",  "(",   "k(",
                                     "k(1)", "}", "x",  "((", "T{k("};
    std::mt19937 random(7);
    const auto piece = [&](int count) {
        std::string bytes;
        for (int i = 0; i < count; ++i) {
            bytes += fragments[random() % std::size(fragments)];
        }
        return bytes;
    };
    for (std::size_t chunk : {1, 3, 64}) {
        SCOPED_TRACE(chunk);
        std::string plain = piece(60);
        Index index;
        TextTree tree(plain, kMarkers, kReach, chunk, &index);
        for (std::size_t m = 0; m < std::size(kMarkers); ++m) {
            tree.ForEachToken(m, [&](TokenId t, std::string_view from) { index.Add(t, m, from); });
        }
        for (int edit = 0; edit < 300; ++edit) {
            if (random() % 2 == 0 && !plain.empty()) {
                const Position from = random() % plain.size();
                const Position to =
                    from + 1 + random() % std::min<Position>(8, plain.size() - from);
                tree.Erase(from, to);
                plain.erase(from, to - from);
            } else {
                // Back to where no token can start in the reach in front: every marker starts
                // with 'T' or 'k'.
                Position at = random() % (plain.size() + 1);
                const auto reachedFromFront = [&] {
                    const Position front = std::min(at, kReach - 1);
                    return plain.substr(at - front, front).find_first_of("Tk") != std::string::npos;
                };
                while (reachedFromFront()) {
                    --at;
                }
                const std::string bytes = piece(1 + random() % 4);
                tree.Insert(at, bytes);
                plain.insert(at, bytes);
            }
            ASSERT_EQ(tree.Slice(0, tree.Size()), plain) << "after edit " << edit;
            ASSERT_EQ(index.Where(tree), PlainTokens(plain)) << "after edit " << edit;
        }
        for (std::size_t m = 0; m < std::size(kMarkers); ++m) {
            std::vector<Seen> walked;
            tree.ForEachToken(m, [&](TokenId t, std::string_view from) {
                walked.emplace_back(tree.PositionOf(t), m, std::string(from.substr(0, kReach)));
            });
            std::vector<Seen> expected = PlainTokens(plain);
            std::erase_if(expected, [m](const Seen& s) { return std::get<1>(s) != m; });
            EXPECT_EQ(walked, expected) << "ForEachToken of marker " << m << ", in text order";
        }
    }
}

}  // namespace
}  // namespace kolvane::text
