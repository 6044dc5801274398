#include "records/install_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kolvane::records {
namespace {

const Hash kHashA{0x0123456789abcdefULL, 0xfedcba9876543210ULL};
const Hash kHashB{0, 1};
// 2026-12-08T02:21:31.1234567Z
constexpr platform::FileTime kTime = 134411700911234567ULL;

InstallRecord FullRecord() {
    InstallRecord record;
    record.package = "Paket \"Süd\" 100%";
    record.script = kHashA;
    record.host = "C:\\Halmdor\\";
    record.date = "2026-12-08T02:21:31Z";
    record.state = RecordState::kFinished;
    record.folders = {"Modelle\\Neu", "Modelle\\Neu\\Teil"};
    record.files = {
        {FileAction::kCreated, "Modelle\\Neu\\Lok.mdl", FileStamp{163840, kTime, kHashA}, {}},
        {FileAction::kReplaced, "Modelle\\Alt.mdl", FileStamp{5, kTime + 1, kHashA},
         FileStamp{0, 116444736000000000ULL, kHashB}},
        {FileAction::kKeptNewer, "a b\\c.dat", {}, {}},
        {FileAction::kKeptIdentical, "x.dat", {}, {}},
        {FileAction::kFailed, "y.dat", {}, {}},
    };
    record.catalog =
        CatalogChange{"D:\\Res\\Texturen.txt", {10, kTime, kHashB}, {20, kTime, kHashA}};
    record.textures = {
        {TextureAction::kInserted, 4711, "Textur{\tid(4711)\t}\n\t\t", ""},
        {TextureAction::kReplaced, -3, "Textur{\tid(-3)}\r\n", "Textur{\"old\"}"},
        {TextureAction::kRemoved, 2147483647, "", "Textur{\tid(2147483647)}"},
    };
    return record;
}

TEST(InstallRecordTest, EveryFieldSurvivesWritingAndReading) {
    for (const InstallRecord& record : {FullRecord(), InstallRecord{.package = "P",
                                                      .script = kHashB,
                                                      .host = "C:\\H\\",
                                                      .date = "1601-01-01T00:00:00Z",
                                                      .state = RecordState::kStarted,
                                                      .folders = {},
                                                      .files = {},
                                                      .catalog = {},
                                                      .textures = {}}}) {
        const std::string text = WriteRecord(record);
        ReadError error;
        const std::optional<InstallRecord> read = ReadRecord(text, error);
        ASSERT_TRUE(read) << DescribeError("r", error) << "\n" << text;
        EXPECT_EQ(*read, record);
        EXPECT_EQ(WriteRecord(*read), text);
    }
}

TEST(InstallRecordTest, TextIsReadableLineByLine) {
    const std::string text = WriteRecord(FullRecord());
    for (const char* line : {
             "Kolvane install record 1\n",
             "package \"Paket %22Süd%22 100%25\" script "
             "0123456789abcdeffedcba9876543210\n",
             "host \"C:\\Halmdor\\\"\n",
             "folder \"Modelle\\Neu\"\n",
             "file created \"Modelle\\Neu\\Lok.mdl\" size 163840 time "
             "2026-12-08T02:21:31.1234567Z hash 0123456789abcdeffedcba9876543210\n",
             " old size 0 time 1970-01-01T00:00:00.0000000Z hash "
             "00000000000000000000000000000001\n",
             "texture inserted 4711 \"Textur{%09id(4711)%09}%0A%09%09\"\n",
             "texture removed 2147483647 old \"Textur{%09id(2147483647)}\"\nend\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
    EXPECT_EQ(DateText(kTime), "2026-12-08T02:21:31Z");
    // The first and the last time that Windows gives a file.
    EXPECT_EQ(DateText(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(DateText(0x7FFF'FFFF'FFFF'FFFF), "30828-09-14T02:48:05Z");
}

struct BadRecord {
    std::string name;
    std::string text;
    ReadError::Kind kind;
    std::size_t line;
};

TEST(InstallRecordTest, BadRecordsAreReportedWithTheirLine) {
    const std::string good = WriteRecord(FullRecord());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    using Kind = ReadError::Kind;
    const std::vector<BadRecord> cases = {
        {"empty", "", Kind::kTruncated, 1},
        {"no record", "hello\n", Kind::kDamaged, 1},
        {"no version", "Kolvane install record\n", Kind::kDamaged, 1},
        {"newer", replaced("record 1", "record 2"), Kind::kNewer, 1},
        {"huge version", replaced("record 1", "record 99999999999999999999"), Kind::kDamaged, 1},
        {"cut after header", good.substr(0, good.find("folder")), Kind::kTruncated, 6},
        {"cut in a line", good.substr(0, good.find("folder") + 3), Kind::kTruncated, 6},
        {"no end line", good.substr(0, good.size() - 4), Kind::kTruncated, 17},
        {"after end", good + "end\n", Kind::kDamaged, 18},
        {"state", replaced("finished", "done"), Kind::kDamaged, 5},
        {"date", replaced("date 2026-12-08", "date 2026-02-30"), Kind::kDamaged, 4},
        {"short hash", replaced("script 0123", "script 123"), Kind::kDamaged, 2},
        {"outside host", replaced("\"x.dat\"", "\"..\\..\\x.dat\""), Kind::kDamaged, 11},
        {"drive path", replaced("\"y.dat\"", "\"C:\\y.dat\""), Kind::kDamaged, 12},
        {"unknown line", replaced("folder", "fodler"), Kind::kDamaged, 6},
        {"bad escape", replaced("%09id(4711)", "%9id(4711)"), Kind::kDamaged, 14},
        {"open quote", replaced("\"Modelle\\Neu\"\n", "\"Modelle\\Neu\n"), Kind::kDamaged, 6},
        {"raw tab", replaced("%09id(4711)", "\tid(4711)"), Kind::kDamaged, 14},
        {"two blanks", replaced("size 163840", "size  163840"), Kind::kDamaged, 8},
        {"trailing blank", replaced("kept-newer \"a b\\c.dat\"", "kept-newer \"a b\\c.dat\" "),
         Kind::kDamaged, 10},
        {"identifier", replaced("inserted 4711", "inserted 4711x"), Kind::kDamaged, 14},
        {"big identifier", replaced("inserted 4711", "inserted 2147483648"), Kind::kDamaged, 14},
        {"size", replaced("size 163840", "size -1"), Kind::kDamaged, 8},
        {"second catalogue",
         replaced("texture inserted",
                  good.substr(good.find("catalogue"),
                              good.find("\ntexture") - good.find("catalogue") + 1) +
                      "texture inserted"),
         Kind::kDamaged, 14},
        {"empty line", replaced("folder", "\nfolder"), Kind::kDamaged, 6},
    };
    for (const BadRecord& bad : cases) {
        SCOPED_TRACE(bad.name);
        ReadError error;
        EXPECT_FALSE(ReadRecord(bad.text, error));
        EXPECT_EQ(error.kind, bad.kind) << error.what;
        EXPECT_EQ(error.line, bad.line) << error.what;
        EXPECT_FALSE(error.what.empty());
    }
}

TEST(InstallRecordTest, WindowsLineEndsAreRead) {
    std::string text = WriteRecord(FullRecord());
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, "\r");
    }
    ReadError error;
    const std::optional<InstallRecord> read = ReadRecord(text, error);
    ASSERT_TRUE(read) << DescribeError("r", error);
    EXPECT_EQ(*read, FullRecord());
}

TEST(InstallRecordTest, ErrorsNameFileAndLine) {
    ReadError error;
    EXPECT_FALSE(ReadRecord("Kolvane install record 7\n", error));
    EXPECT_EQ(DescribeError("Kolvane\\Paket.rec", error),
              "Kolvane\\Paket.rec:1: record of a newer Kolvane: written in format version 7, "
              "newer than this program reads (1)");
}

// A started record's journal: its complete lines take the place of the record's folders and
// files; a last line cut short is passed over; a bad line is named by its line in the journal.
TEST(InstallRecordTest, AJournalTellsTheFoldersAndFilesOfARunKilledHalfWay) {
    InstallRecord started = FullRecord();
    started.state = RecordState::kStarted;
    const std::string lines =
        FolderLine(started.folders[0]) + FileLine(started.files[0]) + FileLine(started.files[1]);
    struct Case {
        std::string journal;
        std::size_t folders, files;  // read, or the line of the error when `line` is set
        std::size_t line = 0;
    };
    const std::vector<Case> cases = {
        {"", 0, 0},
        {lines, 1, 2},
        {lines + "file created \"Modelle\\Neu\\W", 1, 2},
        {lines + "file created \"..\\x.dat\" size 1\n", 0, 0, 4},
        {lines + "texture removed 4 old \"Textur{}\"\n", 0, 0, 0},
        {"end\n" + lines, 0, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.journal);
        InstallRecord record = started;
        ReadError error;
        const bool read = ReadJournal(c.journal, record, error);
        if (c.folders + c.files == 0 && !c.journal.empty()) {
            EXPECT_FALSE(read);
            EXPECT_EQ(error.line, c.line) << error.what;
            EXPECT_EQ(record, started);
            continue;
        }
        ASSERT_TRUE(read) << DescribeError("j", error);
        EXPECT_EQ(record.folders.size(), c.folders);
        ASSERT_EQ(record.files.size(), c.files);
        if (c.files != 0) {
            EXPECT_EQ(record.files[1], started.files[1]);
        }
        EXPECT_EQ(record.textures, started.textures);
    }
    EXPECT_EQ(JournalOf("C:\\H\\Kolvane\\record-1-2.txt"), "C:\\H\\Kolvane\\record-1-2.journal");
}

}  // namespace
}  // namespace kolvane::records
