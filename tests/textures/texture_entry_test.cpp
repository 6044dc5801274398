#include "textures/texture_entry.h"

#include <gtest/gtest.h>

#include <climits>

namespace kolvane::catalog {
namespace {

TEST(ParseIdentifierTest, ReadsLikeAtoiAndSaturates) {
    struct Case {
        const char* text;
        int id;
    };
    const Case cases[] = {
        {"12", 12},
        {"12a", 12},
        {"-4", -4},
        {"x7", 0},
        {"", 0},
        {"-", 0},
        {"+5", 5},
        {"007", 7},
        {" \t9", 9},
        {"1 2", 1},
        {"--3", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
        {"0000000000000000000042", 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseIdentifier(c.text), c.id);
    }
}

TEST(LayOutDefinitionTest, AddsTheSeparatorAfterEveryByteThatCallsForOne) {
    EXPECT_EQ(LayOutDefinition("Textur{a(1)id(12)}"), "Textur{\ta(1)\tid(12)\t}\n\t\t");
    EXPECT_EQ(LayOutDefinition(""), "");
    EXPECT_EQ(LayOutDefinition("b>>c"), "b>>c");
    EXPECT_EQ(LayOutDefinition("x)y{}"), "x)\ty{\t}\n\t\t") << "byte by byte, not word by word";
    EXPECT_EQ(LayOutDefinition("}}"), "}\n\t\t}\n\t\t");
}

}  // namespace
}  // namespace kolvane::catalog
