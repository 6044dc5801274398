#include "textures/catalog_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace kolvane::catalog {
namespace {

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

TEST(CanonicalLayoutTest, WhatIsSavedLoadsBackUnchangedAndPiecesMakeNoDifference) {
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
        LayoutBuilder inPieces(0);
        for (std::size_t from = 0; from < file.size();) {
            const std::size_t length = random() % 5;  // empty pieces too
            inPieces.Append(std::string_view(file).substr(from, length));
            from += length;
        }
        EXPECT_EQ(inPieces.Finish(), text) << "words and blanks that cross pieces";
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

}  // namespace
}  // namespace kolvane::catalog
