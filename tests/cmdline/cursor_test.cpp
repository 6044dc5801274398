// The cursor operations on their own: what they take and where they leave the cursor.

#include <gtest/gtest.h>

#include <string>

#include "cmdline/cmdline.h"

namespace cmdline::test {
namespace {

struct Case {
    std::string text;
    std::string expected;  // what was read
    std::string rest;      // what is left after the cursor
};

template <typename Read>
void Check(const Case& c, Read read) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    CommandLineCursor cursor{c.text.c_str()};
    EXPECT_EQ(read(cursor), c.expected);
    EXPECT_EQ(std::string(cursor.text + cursor.pos), c.rest);
}

TEST(CursorTest, SkipBlanksPassesSpacesAndTabsOnly) {
    for (const Case& c : std::initializer_list<Case>{
             {"", "", ""},
             {" \t x", "", "x"},
             {"\t\t", "", ""},
             {" \nx", "", "\nx"},
             {"x ", "", "x "},
         }) {
        Check(c, [](CommandLineCursor& cursor) {
            SkipBlanks(cursor);
            return std::string();
        });
    }
}

TEST(CursorTest, ReadWordStopsAtEndsAndCutsAt49) {
    const std::string fortyNine(49, 'a');
    for (const Case& c : std::initializer_list<Case>{
             {"", "", ""},
             {"word", "word", ""},
             {"word rest", "word", " rest"},
             {"word\trest", "word", "\trest"},
             {"word=value", "word", "=value"},
             {"word\nrest", "word", "\nrest"},
             {"\nword", "", "\nword"},
             {"=value", "", "=value"},
             {"w'o\"r-d/+", "w'o\"r-d/+", ""},
             {"\xE4\xF6\xFC x", "\xE4\xF6\xFC", " x"},
             {fortyNine, fortyNine, ""},
             {fortyNine + "bcd e", fortyNine, "bcd e"},
         }) {
        Check(c, ReadWord);
    }
}

TEST(CursorTest, ReadValueUnquotedKeepsEqualsAndStopsAtBlanks) {
    for (const Case& c : std::initializer_list<Case>{
             {"", "", ""},
             {"value", "value", ""},
             {"a=b c", "a=b", " c"},
             {"a\tb", "a", "\tb"},
             {"a\nb", "a", "\nb"},
             {" a", "", " a"},
             {"a'b' c", "a'b'", " c"},
         }) {
        Check(c, ReadValue);
    }
}

TEST(CursorTest, ReadValueQuotedRunsToTheSameQuote) {
    for (const Case& c : std::initializer_list<Case>{
             {"'a b' c", "a b", " c"},
             {"\"a b\" c", "a b", " c"},
             {"'a\tb\nc'd", "a\tb\nc", "d"},
             {"'say \"hi\"' x", "say \"hi\"", " x"},
             {"\"it's\"", "it's", ""},
             {"''x", "", "x"},
             {"'unclosed value", "unclosed value", ""},
             {"'", "", ""},
         }) {
        Check(c, ReadValue);
    }
}

TEST(CursorTest, ReadValueTakesAtMost128Characters) {
    const std::string full(128, 'v');
    const std::string almost(127, 'v');
    for (const Case& c : std::initializer_list<Case>{
             {full, full, ""},
             {full + "wx y", full, "wx y"},
             {"'" + almost + "' x", almost, " x"},
             {"'" + full + "' x", full, "' x"},  // the closing quote after the limit stays
             {"\"" + full + "more\"", full, "more\""},
         }) {
        Check(c, ReadValue);
    }
}

}  // namespace
}  // namespace cmdline::test
