#include "script/script_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane {
namespace {

using Entries = std::vector<std::string>;

class ScriptReaderTest : public ::testing::Test {
  protected:
    ScriptReaderTest() : realFiles_(testing::MakeRealFiles()), files_(*realFiles_) {}

    std::string WriteScript(const std::string& text) {
        dir_.Write("InstSkript.txt", text);
        return dir_.WindowsPath("InstSkript.txt");
    }

    // The entries of `section` in `script`, or none when the section is not found.
    std::optional<Entries> Section(const std::string& script, const std::string& section) {
        ScriptReader reader(files_);
        EXPECT_TRUE(reader.Open(WriteScript(script)));
        return ReadSection(reader, section);
    }

    static std::optional<Entries> ReadSection(ScriptReader& reader, const std::string& section) {
        if (!reader.FindSection(section)) {
            return std::nullopt;
        }
        Entries entries;
        std::string entry;
        while (reader.ReadEntry(entry)) {
            entries.push_back(entry);
        }
        EXPECT_EQ(entry, "") << "a false read leaves no text behind";
        return entries;
    }

    testing::TempDir dir_;
    std::unique_ptr<platform::Files> realFiles_;
    platform::Files& files_;
};

struct Example {
    const char* what;
    const char* script;
    std::optional<Entries> expected;  // the "Dateinstallation" entries; none: not found
};

TEST_F(ScriptReaderTest, ReadsTheFormatAsDocumented) {
    const Example examples[] = {
        {"one line", "Dateinstallation{{a>>b}{c>>d}}", Entries{"a>>b", "c>>d"}},
        {"spread over indented lines", "Dateinstallation\r\n{\r\n\t{a>>b}\r\n    {c>>d}\r\n}\r\n",
         Entries{"a>>b", "c>>d"}},
        {"whitespace inside a name", "Date installation {{a>>b}}", Entries{"a>>b"}},
        {"whitespace inside an entry", "Dateinstallation{ { my file.dat >> Sub\\my file.dat } }",
         Entries{"myfile.dat>>Sub\\myfile.dat"}},
        {"text before the name joins it", "Version2 Dateinstallation { {a>>b} }", std::nullopt},
        {"a block before the name is skipped", "{Version 2} Dateinstallation { {a>>b} }",
         Entries{"a>>b"}},
        {"names are case-sensitive", "dateinstallation { {a>>b} }", std::nullopt},
        {"no body block", "Dateinstallation {a>>b}", Entries{}},
        {"empty body", "Dateinstallation {}", Entries{}},
        {"stray text ends the section", "Dateinstallation { {a>>b} x {c>>d} }", Entries{"a>>b"}},
        {"braces nested in an entry", "Dateinstallation{{ 12 >> A{ b(c) } }}",
         Entries{"12>>A{b(c)}"}},
        {"deeper nesting", "Dateinstallation{{1>>A{B{C}}}}", Entries{"1>>A{B{C}}"}},
        {"an empty entry", "Dateinstallation{{}}", Entries{""}},
    };
    for (const Example& example : examples) {
        SCOPED_TRACE(example.what);
        EXPECT_EQ(Section(example.script, "Dateinstallation"), example.expected);
    }
}

TEST_F(ScriptReaderTest, FindsSectionsWhereverTheyStand) {
    const Example examples[] = {
        {"only inside a block", "{Dateinstallation{{a>>b}}} Texturskript{}", std::nullopt},
        {"the first of two wins", "Dateinstallation{{a>>b}} Dateinstallation{{c>>d}}",
         Entries{"a>>b"}},
        {"after the texture section", "Texturskript{{1>>x}} Dateinstallation{{a>>b}}",
         Entries{"a>>b"}},
        {"after a lone closing brace", "} Dateinstallation{{a>>b}}", Entries{"a>>b"}},
        {"empty file", "", std::nullopt},
        {"whitespace only", " \r\n\t\v\f ", std::nullopt},
        {"name running into the end", "Texturskript{} Dateinstallation", Entries{}},
        {"last body never closed", "Dateinstallation{{a>>b}{c>>d}", Entries{"a>>b", "c>>d"}},
        {"entry open at the end", "Dateinstallation{{a>>b}{c>>d", Entries{"a>>b"}},
        {"unclosed block hides later sections", "Notes{ {x} Dateinstallation{{a>>b}}",
         std::nullopt},
        {"bytes above 0x7F are literal",
         "Dateinstallation{{Br\xFC"
         "cke.dat>>Ziel\\Br\xFC"
         "cke.dat}}",
         Entries{"Br\xFC"
                 "cke.dat>>Ziel\\Br\xFC"
                 "cke.dat"}},
    };
    for (const Example& example : examples) {
        SCOPED_TRACE(example.what);
        EXPECT_EQ(Section(example.script, "Dateinstallation"), example.expected);
    }
}

TEST_F(ScriptReaderTest, EverySearchStartsAtTheTop) {
    ScriptReader reader(files_);
    ASSERT_TRUE(reader.Open(
        WriteScript("Dateinstallation{{a>>b}{c>>d}} Texturskript{{1>>Textur{id(1)}}}")));
    ASSERT_TRUE(reader.FindSection("Dateinstallation"));
    std::string entry;
    ASSERT_TRUE(reader.ReadEntry(entry));  // leave the section half read
    EXPECT_EQ(ReadSection(reader, "Texturskript"), Entries{"1>>Textur{id(1)}"});
    EXPECT_EQ(ReadSection(reader, "Dateinstallation"), (Entries{"a>>b", "c>>d"}));
    EXPECT_EQ(ReadSection(reader, "Missing"), std::nullopt);
    EXPECT_EQ(ReadSection(reader, "Texturskript"), Entries{"1>>Textur{id(1)}"});
}

TEST_F(ScriptReaderTest, OpenOnlyChecksThatTheScriptCanBeRead) {
    ScriptReader reader(files_);
    EXPECT_FALSE(reader.Open(dir_.WindowsPath("Missing.txt")));
    EXPECT_EQ(reader.Path(), dir_.WindowsPath("Missing.txt"));
    EXPECT_FALSE(reader.FindSection("Dateinstallation"));
    std::string entry;
    EXPECT_FALSE(reader.ReadEntry(entry));

    EXPECT_FALSE(reader.Open(dir_.WindowsPath()));  // a directory is no script

    const std::string path = WriteScript("Dateinstallation{{a>>b}}");
    EXPECT_TRUE(reader.Open(path));
    EXPECT_FALSE(reader.FindSection("Texturskript"));
    EXPECT_FALSE(reader.ReadFailed()) << "a section that is not there";
    std::filesystem::remove(dir_.HostPath("InstSkript.txt"));
    EXPECT_FALSE(reader.FindSection("Dateinstallation")) << "a script gone since Open";
    EXPECT_TRUE(reader.ReadFailed());
}

TEST_F(ScriptReaderTest, ReadsNoEntryWithoutASection) {
    ScriptReader reader(files_);
    ASSERT_TRUE(reader.Open(WriteScript("Dateinstallation{{a>>b}}")));
    std::string entry = "left over";
    EXPECT_FALSE(reader.ReadEntry(entry));
    EXPECT_EQ(entry, "");
}

TEST_F(ScriptReaderTest, HandlesDeepNestingWithoutRecursion) {
    const std::string deep(100000, '{');
    EXPECT_EQ(Section(deep + "Dateinstallation{{a>>b}}", "Dateinstallation"), std::nullopt);
    const std::string entry = std::string(50000, '{') + std::string(50000, '}');
    EXPECT_EQ(Section("Dateinstallation{{" + entry + "}}", "Dateinstallation"), Entries{entry});
}

TEST_F(ScriptReaderTest, OutlineShowsTheNamesTheSearchReadsAndWhereTheyStand) {
    struct Case {
        const char* script;
        std::vector<std::string> names;  // each as "text@begin-end"
        std::size_t unclosedBlock;
    };
    constexpr std::size_t kNone = std::string::npos;
    const std::vector<Case> cases = {
        {"", {}, kNone},
        {"A{x}B{{y}}", {"A@0-1", "B@4-5"}, kNone},
        {"Date installation {}", {"Dateinstallation@0-17"}, kNone},
        {"{note} Version2 Name {}", {"Version2Name@7-20"}, kNone},
        {"A{}{}{}B", {"A@0-1", "B@7-8"}, kNone},
        {"A{} B{ {x}", {"A@0-1", "B@4-5"}, 5},
        {"}A", {"A@1-2"}, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        ScriptReader reader(files_);
        ASSERT_TRUE(reader.Open(WriteScript(c.script)));
        ScriptOutline outline;
        ASSERT_TRUE(reader.ReadOutline(outline));
        std::vector<std::string> names;
        for (const ScriptName& name : outline.names) {
            names.push_back(name.text + "@" + std::to_string(name.begin) + "-" +
                            std::to_string(name.end));
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(outline.unclosedBlock, c.unclosedBlock);
        EXPECT_EQ(reader.Text(), c.script);
    }
}

TEST_F(ScriptReaderTest, OffsetFollowsTheEntriesAsTheyAreTaken) {
    ScriptReader reader(files_);
    ASSERT_TRUE(reader.Open(WriteScript("S {\n {a>>b}\n x {c} }")));
    ASSERT_TRUE(reader.FindSection("S"));
    EXPECT_EQ(reader.Offset(), 3u);  // past the body's '{'
    std::string entry;
    ASSERT_TRUE(reader.ReadEntry(entry));
    EXPECT_EQ(reader.Offset(), 11u);  // past the entry's '}'
    EXPECT_FALSE(reader.ReadEntry(entry));
    EXPECT_EQ(reader.Offset(), 14u);       // past the stray 'x', which ended the section
    ASSERT_TRUE(reader.ReadEntry(entry));  // what it hides can still be read on
    EXPECT_EQ(entry, "c");
}

}  // namespace
}  // namespace kolvane
