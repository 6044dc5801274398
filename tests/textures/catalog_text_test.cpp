#include "textures/catalog_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "textures/texture_entry.h"

namespace kolvane::catalog {
namespace {

// One entry as the catalogue holds it after a load.
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

TEST(CanonicalLayoutTest, SeparatesWordsByTheirLastByte) {
    struct Case {
        const char* name;
        std::string file;
        std::string text;
    };
    const Case cases[] = {
        {"words on indented lines", "  Textur{\n   a(1)\n   b\n   c(2)\n  }\n",
         "Textur{\ta(1)\tbc(2)\t}\n\t\t"},
        {"blank inside parentheses is lost", "a(x y)", "a(xy)\t"},
        {"only the last byte counts", "x)y x) {a a{ }b", "x)yx)\t{aa{\t}b"},
        {"}Textur{ is one word", "}Textur{ id(1) }", "}Textur{\tid(1)\t}\n\t\t"},
        {"empty", "", ""},
        {"whitespace only", " \t\r\n\v\f \r\n", ""},
        {"no final line break", "Textur{\r\nid(1)\r\n}", "Textur{\tid(1)\t}\n\t\t"},
        {"CR LF and CR alone separate", "a\r\nb\rc)\r\n", "abc)\t"},
        {"high bytes are word bytes", "\xe4\xf6\xfc\xa0x{", "\xe4\xf6\xfc\xa0x{\t"},
        {"NUL is a word byte", std::string("a\0b}", 4), std::string("a\0b}\n\t\t", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CanonicalLayout(c.file), c.text);
    }
}

TEST(CanonicalLayoutTest, WhatIsSavedLoadsBackUnchanged) {
    std::mt19937 random(7);
    const std::string alphabet = "ab{}()\t\n\r \v\f";
    for (int round = 0; round < 500; ++round) {
        std::string file;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) {
            file += alphabet[random() % alphabet.size()];
        }
        SCOPED_TRACE(::testing::PrintToString(file));
        const std::string text = CanonicalLayout(file);
        const std::string saved = WithCrLf(text);
        EXPECT_EQ(CanonicalLayout(saved), text);
        EXPECT_EQ(WithCrLf(CanonicalLayout(saved)), saved);
    }
}

TEST(WithCrLfTest, WritesEveryLfAsCrLfAndNothingElse) {
    EXPECT_EQ(WithCrLf(""), "");
    EXPECT_EQ(WithCrLf("a"), "a");
    EXPECT_EQ(WithCrLf("\n"), "\r\n");
    EXPECT_EQ(WithCrLf("}\n\t\t}\n\t\t"), "}\r\n\t\t}\r\n\t\t");
    EXPECT_EQ(WithCrLf("\r\n\n"), "\r\r\n\r\n") << "a CR already there is an ordinary byte";
}

TEST(IdentifierKeyTest, IsDecimalWithoutPlusOrLeadingZeros) {
    EXPECT_EQ(IdentifierKey(12), "id(12)");
    EXPECT_EQ(IdentifierKey(0), "id(0)");
    EXPECT_EQ(IdentifierKey(-3), "id(-3)");
    EXPECT_EQ(IdentifierKey(INT_MAX), "id(2147483647)");
    EXPECT_EQ(IdentifierKey(INT_MIN), "id(-2147483648)");
}

TEST(FindBlockEndTest, MatchesBracesByCounting) {
    const std::string text = "ab{c{d}e{}f}g}{";
    //                        0123456789012345
    EXPECT_EQ(FindBlockEnd(text, 0), 11u);
    EXPECT_EQ(FindBlockEnd(text, 2), 11u);
    EXPECT_EQ(FindBlockEnd(text, 3), 6u) << "the first '{' at or after the position";
    EXPECT_EQ(FindBlockEnd(text, 7), 9u);
    EXPECT_EQ(FindBlockEnd(text, 12), kNone) << "the last '{' is never closed";
    EXPECT_EQ(FindBlockEnd(text, text.size()), kNone);
    EXPECT_EQ(FindBlockEnd(text, kNone), kNone);
    EXPECT_EQ(FindBlockEnd("abc}", 0), kNone) << "no '{' at all";
    EXPECT_EQ(FindBlockEnd("{{}", 0), kNone) << "unclosed outer block";
}

TEST(RemoveTextureTest, RemovesTheBlockAroundTheFirstKeyOnly) {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        EXPECT_EQ(RemoveTexture(text, c.id), c.removed);
        EXPECT_EQ(text, c.after);
    }
}

// The placement as the step-down defines it: the first k = n - 1, n - 2, ..., 1 whose key
// occurs, searched one by one.
Position ReferenceBlockEnd(const std::string& text, Position from) {
    if (from >= text.size()) {
        return kNone;
    }
    const Position open = text.find('{', from);
    if (open == kNone) {
        return kNone;
    }
    int depth = 1;
    for (Position p = open + 1; p < text.size(); ++p) {
        depth += text[p] == '{' ? 1 : text[p] == '}' ? -1 : 0;
        if (depth == 0) {
            return p;
        }
    }
    return kNone;
}

Position ReferenceInsertPosition(const std::string& text, long long n) {
    for (long long k = n - 1; k >= 1; --k) {
        const Position key = text.find("id(" + std::to_string(k) + ")");
        if (key == kNone) {
            continue;
        }
        const Position open = text.rfind('{', key);
        if (open == kNone) {
            return 0;
        }
        const Position end = ReferenceBlockEnd(text, open);
        if (end != kNone) {
            return end + 1;
        }
        break;
    }
    const Position first = text.find('{');
    return first == kNone ? 0 : first + 1;
}

TEST(FindInsertPositionTest, PlacesAfterTheNearestLowerIdentifier) {
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
        {"-5 after the first '{'", oneTwoFive, -5, 7},
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindInsertPosition(c.text, c.id), c.expected);
        if (c.id > -100 && c.id < 100) {  // the step-down is too slow for the far ends
            EXPECT_EQ(ReferenceInsertPosition(c.text, c.id), c.expected);
        }
    }
}

// Texts built from fragments that trip a careless scan: nested and unclosed blocks, keys
// without "Textur{", overlapping keys, leading zeros, signs, id(0), no '{' at all.
std::string RandomCatalogue(std::mt19937& random) {
    static const char* const kFragments[] = {
        "Textur{", "{",      "}",      "}",     "\t",    "\n\t\t", "id(",    ")",  "id(id(",
        "0",       "1",      "2",      "3",     "5",     "7",      "9",      "12", "id(1)",
        "id(2)",   "id(3)",  "id(4)",  "id(6)", "id(9)", "id(10)", "id(11)", "-",  "id(-1)",
        "id(0)",   "id(01)", "id(+2)", "id(2",  "d(3)",  "Textur", "x",      "i",  "id(id(5)",
    };
    std::string text;
    const int count = static_cast<int>(random() % 30);
    for (int i = 0; i < count; ++i) {
        text += kFragments[random() % std::size(kFragments)];
    }
    return text;
}

TEST(FindInsertPositionTest, AgreesWithTheStepDownOnRandomCatalogues) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 8000; ++round) {
        const std::string text = RandomCatalogue(random);
        for (int n : {-2, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 20, 100}) {
            if (FindInsertPosition(text, n) != ReferenceInsertPosition(text, n)) {
                ADD_FAILURE() << "n = " << n << " in " << ::testing::PrintToString(text) << ": "
                              << FindInsertPosition(text, n) << " instead of "
                              << ReferenceInsertPosition(text, n);
                return;
            }
        }
    }
}

TEST(AddTextureTest, ReplacesInPlaceAndOrdersByIdentifier) {
    const std::string definition = LayOutDefinition("Textur{id(2)new}");
    std::string text = Entries({1, 2, 3});
    AddTexture(text, 2, definition);
    EXPECT_EQ(text, "Textur{\tid(1)\t}" + definition + "\n\t\t\n\t\t" + Entry(3))
        << "the new entry stands where the old one stood";

    std::string oneTwoFive = Entries({1, 2, 5});
    AddTexture(oneTwoFive, 0, "Z");
    EXPECT_EQ(oneTwoFive, "Textur{Z\tid(1)\t}\n\t\t" + Entries({2, 5}));

    std::string emptied = Entries({1, 2, 3});
    AddTexture(emptied, 2, "");
    EXPECT_EQ(emptied, Entry(1) + "\n\t\t" + Entry(3)) << "an empty definition only removes";

    std::string bare;
    AddTexture(bare, 4, "Textur{id(4)}");
    EXPECT_EQ(bare, "Textur{id(4)}");
}

TEST(AddTextureTest, SeesWhatEarlierAdditionsPlaced) {
    std::string text = Entries({1, 9});
    for (int id : {5, 3, 7, 5}) {
        AddTexture(text, id, LayOutDefinition("Textur{id(" + std::to_string(id) + ")}"));
    }
    EXPECT_EQ(CanonicalLayout(text),
              "Textur{\tid(1)\t}Textur{\tid(3)\t}Textur{\tid(5)\t}\n\t\t" + Entries({7, 9}))
        << "the second 5 moves behind 3, and 7 stays where the first 5 put it";
}

}  // namespace
}  // namespace kolvane::catalog
