#include "platform/posix/windows_text.h"

#include <gtest/gtest.h>

namespace kolvane::platform {
namespace {

TEST(Windows1252Test, EveryByteSurvivesTheWayThroughUtf8) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(Windows1252Test, ConvertsTheLettersOfTheTexts) {
    struct Case {
        std::string windows;
        std::string utf8;
    };
    const Case cases[] = {
        {"Inf&o \xFC"
         "ber",
         "Inf&o \xC3\xBC"
         "ber"},
        {"zus\xE4tzlich", "zus\xC3\xA4tzlich"},
        {"\x80 \x9F \x8D", "\xE2\x82\xAC \xC5\xB8 \xC2\x8D"},
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Windows1252ToUtf8(c.windows), c.utf8);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.windows);
    }
}

TEST(Windows1252Test, WhatTheCodePageLacksBecomesAQuestionMark) {
    struct Case {
        std::string utf8;
        std::string windows;
    };
    const Case cases[] = {
        {"\xC4\x81", "?"},          // a with macron
        {"\xF0\x9F\x98\x80", "?"},  // beyond the BMP
        {"a\xFF"
         "b",
         "a?b"},                  // no UTF-8 at all
        {"\xC3", "?"},            // cut short
        {"\xC0\xAF", "??"},       // overlong
        {"\xED\xA0\x80", "???"},  // a surrogate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.windows);
    }
    EXPECT_EQ(Utf16ToWindows1252(0x20AC), 0x80);
    EXPECT_EQ(Utf16ToWindows1252(0x0101), std::nullopt);
}

}  // namespace
}  // namespace kolvane::platform
