#include "textures/editable_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "textures/texture_entry.h"

namespace kolvane::catalog {
namespace {

// Chunk sizes from one byte a node, where every edit cuts and every search crosses nodes, to the
// default, where small texts are one node.
constexpr std::size_t kChunks[] = {1, 3, EditableText::kDefaultChunk};

// ---- The reference: the placement as plain searches and splices of one string, one full search
// of the text per step, without any index.

Position PlainInsertPosition(const std::string& text, int identifier) {
    // The first occurrence of the key of the largest 1 <= k < identifier that occurs.
    const std::int64_t limit = static_cast<std::int64_t>(identifier) - 1;
    std::int64_t best = 0;
    Position key = kNone;
    for (Position at = text.find("id("); at != kNone; at = text.find("id(", at + 3)) {
        Position p = at + 3;
        if (p >= text.size() || text[p] < '1' || text[p] > '9') {
            continue;
        }
        std::int64_t value = 0;
        for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
            if (value <= limit) {
                value = value * 10 + (text[p] - '0');
            }
        }
        if (p < text.size() && text[p] == ')' && value <= limit && value > best) {
            best = value;
            key = at;
        }
    }
    if (identifier > 1 && key != kNone) {
        const Position open = text.rfind('{', key);
        if (open == kNone) {
            return 0;
        }
        const Position end = FindBlockEnd(text, open);
        if (end != kNone) {
            return end + 1;
        }
    }
    const Position first = text.find('{');
    return first == kNone ? 0 : first + 1;
}

bool PlainRemove(std::string& text, int identifier) {
    const Position key = text.find(IdentifierKey(identifier));
    const Position start = key == kNone ? kNone : text.rfind("Textur{", key);
    const Position end = start == kNone ? kNone : FindBlockEnd(text, start);
    if (end == kNone) {
        return false;
    }
    text.erase(start, end - start + 1);
    return true;
}

Placement PlainAdd(std::string& text, int identifier, std::string_view definition) {
    Placement placement;
    placement.replaced = PlainRemove(text, identifier);
    placement.position = PlainInsertPosition(text, identifier);
    text.insert(placement.position, definition);
    return placement;
}

// The step-down as the placement is defined: k = n - 1, n - 2, ..., 1, one search each.
Position SteppedInsertPosition(const std::string& text, int n) {
    for (int k = n - 1; k >= 1; --k) {
        const Position key = text.find(IdentifierKey(k));
        if (key == kNone) {
            continue;
        }
        const Position open = text.rfind('{', key);
        if (open == kNone) {
            return 0;
        }
        const Position end = FindBlockEnd(text, open);
        if (end != kNone) {
            return end + 1;
        }
        break;
    }
    const Position first = text.find('{');
    return first == kNone ? 0 : first + 1;
}

// What a reader of the text sees in front of `position`, and which rule must have put a
// definition there.
std::string PlainKeyInFront(const std::string& text, Position position) {
    const Position key = position == 0 ? kNone : text.rfind("id(", position - 1);
    const Position close = key == kNone ? kNone : text.find(')', key);
    return close != kNone && close < position ? text.substr(key, close + 1 - key) : "";
}

InsertedAt RuleAt(const std::string& text, Position position) {
    if (position == 0) {
        return InsertedAt::kTextStart;
    }
    return position == text.find('{') + 1 ? InsertedAt::kAfterFirstBrace : InsertedAt::kAfterBlock;
}

// ---- Cases worth naming

std::string Entry(int id) {
    return "Textur{\tid(" + std::to_string(id) + ")\t}\n\t\t";
}

std::string Entries(std::initializer_list<int> ids) {
    std::string text;
    for (int id : ids) {
        text += Entry(id);
    }
    return text;
}

TEST(EditableTextTest, FindBlockEndMatchesBracesByCounting) {
    const std::string text = "ab{c{d}e{}f}g}{";
    //                        0123456789012345
    const std::pair<Position, Position> cases[] = {
        {0, 11}, {2, 11}, {3, 6}, {7, 9}, {12, kNone}, {text.size(), kNone}, {kNone, kNone},
    };
    for (std::size_t chunk : kChunks) {
        const EditableText editable(text, chunk);
        for (auto [from, end] : cases) {
            SCOPED_TRACE(::testing::Message() << "chunk " << chunk << ", from " << from);
            EXPECT_EQ(FindBlockEnd(text, from), end);
            EXPECT_EQ(editable.FindBlockEnd(from), end);
        }
        EXPECT_EQ(EditableText("abc}", chunk).FindBlockEnd(0), kNone) << "no '{' at all";
        EXPECT_EQ(EditableText("{{}", chunk).FindBlockEnd(0), kNone) << "unclosed outer block";
    }
}

TEST(EditableTextTest, RemovesTheBlockAroundTheFirstKeyOnly) {
    struct Case {
        const char* name;
        std::string text;
        int id;
        bool removed;
        std::string after;
    };
    const Case cases[] = {
        {"middle entry, separator stays", Entries({1, 2, 3}), 2, true,
         Entry(1) + "\n\t\t" + Entry(3)},
        {"absent", Entries({1, 3}), 2, false, Entries({1, 3})},
        {"id(1) is not in id(10)", Entries({10}), 1, false, Entries({10})},
        {"key inside a longer word", "Textur{\txid(4)\t}\n\t\t", 4, true, "\n\t\t"},
        {"first of two with one identifier", Entries({5, 5}), 5, true, "\n\t\t" + Entry(5)},
        {"nested block inside", "Textur{\tx{\ty\t}\n\t\tid(7)\t}\n\t\tZ", 7, true, "\n\t\tZ"},
        {"key after its block", "Textur{\ta\t}\n\t\tid(8)\t", 8, true, "\n\t\tid(8)\t"},
        {"no Textur{ in front", "X{\tid(9)\t}\n\t\t" + Entry(10), 9, false,
         "X{\tid(9)\t}\n\t\t" + Entry(10)},
        {"unclosed block", "Textur{\tid(3)\tTextur{\t}", 3, false, "Textur{\tid(3)\tTextur{\t}"},
        {"negative", Entries({-3, 1}), -3, true, "\n\t\t" + Entry(1)},
        {"zero", Entries({0}), 0, true, "\n\t\t"},
    };
    for (std::size_t chunk : kChunks) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", chunk " << chunk);
            EditableText editable(c.text, chunk);
            EXPECT_EQ(editable.RemoveTexture(c.id), c.removed);
            EXPECT_EQ(editable.Text(), c.after);
        }
    }
}

TEST(EditableTextTest, EditsThatJoinBytesIntoAKeyMakeItCount) {
    for (std::size_t chunk : kChunks) {
        SCOPED_TRACE(chunk);
        EditableText removal("id(Textur{\tid(3)\t}5)\tQ{\t}", chunk);
        EXPECT_TRUE(removal.RemoveTexture(3));
        EXPECT_EQ(removal.FindInsertPosition(6), 0u) << "id(5) now stands with no '{' before it";

        EditableText insertion("Textur{\tid(1)\t}d(4)\t", chunk);
        EXPECT_EQ(insertion.AddTexture(3, "i").position, 15u);
        EXPECT_TRUE(insertion.RemoveTexture(4)) << "the 'i' added made id(4)";
        EXPECT_EQ(insertion.Text(), "id(4)\t");

        EditableText longest("id(-2147483648Textur{\tid(3)\t})\t" + Entry(INT_MIN), chunk);
        EXPECT_TRUE(longest.RemoveTexture(3));
        EXPECT_FALSE(longest.RemoveTexture(INT_MIN))
            << "the longest key, joined in front of the entry, has no Textur{ before it";
    }
}

TEST(EditableTextTest, PlacesAfterTheNearestLowerIdentifier) {
    struct Case {
        const char* name;
        std::string text;
        int id;
        Position expected;
    };
    const std::string oneTwoFive = Entries({1, 2, 5});
    const Position afterTwo = Entry(1).size() + Entry(2).size() - 3;
    const Position afterFive = oneTwoFive.size() - 3;
    const Case cases[] = {
        {"3 after 2", oneTwoFive, 3, afterTwo},
        {"5 after 2", oneTwoFive, 5, afterTwo},
        {"7 after 5", oneTwoFive, 7, afterFive},
        {"1 after the first '{'", oneTwoFive, 1, 7},
        {"0 after the first '{'", oneTwoFive, 0, 7},
        {"INT_MIN after the first '{'", oneTwoFive, INT_MIN, 7},
        {"nothing lower: nested into the first entry", Entries({8, 9}), 4, 7},
        {"enclosing block", "Liste{\t" + Entries({8}) + "}\n\t\t", 4, 6},
        {"no '{' at all", "id(1)\tid(2)\t", 3, 0},
        {"lower key with no '{' in front", "id(1)\t" + Entry(5), 3, 0},
        {"id(1) is not in id(10)", Entries({10}), 2, 7},
        {"empty text", "", 5, 0},
        {"nested block before the key", "Textur{\tx{\t}\n\t\tid(1)\t}\n\t\t", 2, 12},
        {"lower key inside an unclosed block", "A{\t}\n\t\tB{\tid(1)\t", 2, 2},
        {"largest identifier", "Q{\tid(2147483646)\t}id(2147483647)\t}", INT_MAX, 19},
        {"keys beyond the range are no candidates", "Q{\t}id(99999999999)\t{\t}", INT_MAX, 2},
    };
    for (std::size_t chunk : kChunks) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", chunk " << chunk);
            EXPECT_EQ(EditableText(c.text, chunk).FindInsertPosition(c.id), c.expected);
            if (c.id > -100 && c.id < 100) {  // the step-down is too slow for the far ends
                EXPECT_EQ(SteppedInsertPosition(c.text, c.id), c.expected);
            }
        }
    }
}

TEST(EditableTextTest, AdditionsSeeWhatEarlierOnesPlaced) {
    EditableText editable(Entries({1, 9}), 3);
    for (int id : {5, 3, 7, 5}) {
        editable.AddTexture(id, LayOutDefinition("Textur{id(" + std::to_string(id) + ")}"));
    }
    EXPECT_EQ(CanonicalLayout(editable.Text()),
              "Textur{\tid(1)\t}Textur{\tid(3)\t}Textur{\tid(5)\t}\n\t\t" + Entries({7, 9}))
        << "the second 5 moves behind 3, and 7 stays where the first 5 put it";

    EditableText emptied(Entries({1, 2, 3}));
    const Placement removal = emptied.AddTexture(2, "");
    EXPECT_TRUE(removal.replaced);
    EXPECT_EQ(emptied.Text(), Entry(1) + "\n\t\t" + Entry(3)) << "an empty definition only removes";
}

// ---- Differential: long runs of additions on catalogues built from fragments that trip a
// careless index (nested and unclosed blocks, keys without "Textur{", keys split across
// fragments, leading zeros, signs, id(0), no '{' at all), with definitions made the same way,
// so that additions bring keys and braces of their own and edits join bytes into new keys.

const char* const kFragments[] = {
    "Textur{",
    "{",
    "}",
    "}",
    "\t",
    "\n\t\t",
    "id(",
    ")",
    "id(id(",
    "0",
    "1",
    "2",
    "3",
    "5",
    "7",
    "9",
    "12",
    "id(1)",
    "id(2)",
    "id(3)",
    "id(4)",
    "id(6)",
    "id(9)",
    "id(10)",
    "id(11)",
    "-",
    "id(-1)",
    "id(0)",
    "id(01)",
    "id(+2)",
    "id(2",
    "d(3)",
    "Textur",
    "x",
    "i",
    "id(id(5)",
    "Textu",
    "r{",
    "d(",
    "5)",
    "id(-2147483648)",
    "id(-2147483648",
    "id(2147483647)",
};

std::string Fragments(std::mt19937& random, int most) {
    std::string text;
    const int count = static_cast<int>(random() % (most + 1));
    for (int i = 0; i < count; ++i) {
        text += kFragments[random() % std::size(kFragments)];
    }
    return text;
}

int AnyIdentifier(std::mt19937& random) {
    switch (random() % 16) {
        case 0:
            return INT_MAX;
        case 1:
            return INT_MIN;
        case 2:
            return static_cast<int>(random());
        default:
            return static_cast<int>(random() % 17) - 3;
    }
}

TEST(EditableTextTest, ManyAdditionsGiveWhatThePlainStringGives) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 800; ++round) {
        const bool large = round % 40 == 0;
        std::string plain = Fragments(random, large ? 400 : 30);
        const std::size_t chunk = kChunks[round % std::size(kChunks)] + round % 5;
        EditableText editable(plain, chunk);
        std::string history = ::testing::PrintToString(plain) + ", chunk " + std::to_string(chunk);
        for (int step = 0; step < (large ? 300 : 40); ++step) {
            const int id = AnyIdentifier(random);
            const int small = static_cast<int>(random() % 16) - 2;
            const Position from = random() % (plain.size() + 2);
            bool same = editable.FindInsertPosition(small) == SteppedInsertPosition(plain, small) &&
                        editable.FindBlockEnd(from) == FindBlockEnd(plain, from);
            if (random() % 8 == 0) {
                history += "; remove " + std::to_string(id);
                same = same && editable.RemoveTexture(id) == PlainRemove(plain, id);
            } else {
                std::string definition = Fragments(random, 6);
                if (random() % 2 == 0) {
                    definition = LayOutDefinition(definition);
                }
                history +=
                    "; add " + std::to_string(id) + " " + ::testing::PrintToString(definition);
                const Placement got = editable.AddTexture(id, definition);
                const Placement want = PlainAdd(plain, id, definition);
                same = same && got.replaced == want.replaced && got.position == want.position &&
                       got.at == RuleAt(plain, want.position) &&
                       editable.KeyInFront(got.position) == PlainKeyInFront(plain, got.position);
            }
            // Spelling out a large text at every step would make this test quadratic.
            same = same && editable.Size() == plain.size() &&
                   editable.KeyInFront(from) == PlainKeyInFront(plain, from) &&
                   ((large && step % 16 != 0) || editable.Text() == plain);
            if (!same) {
                ADD_FAILURE() << history << "\ngave " << ::testing::PrintToString(editable.Text())
                              << "\nnot " << ::testing::PrintToString(plain);
                return;
            }
        }
        ASSERT_EQ(editable.Text(), plain) << history;
    }
}

}  // namespace
}  // namespace kolvane::catalog
