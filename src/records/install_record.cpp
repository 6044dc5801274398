#include "records/install_record.h"

#include <algorithm>
#include <charconv>
#include <chrono>

#include "names/contained_path.h"

namespace kolvane::records {

namespace {

// Seconds between 1 January 1601 and 1 January 1970, the start of the system clock.
constexpr std::int64_t kEpochDifference = 11644473600;
constexpr std::uint64_t kStepsPerSecond = 10000000;  // 100-nanosecond steps

// Quoted texts keep every byte but these, which are written as %XX: control bytes, the quote
// that ends the text and the escape itself. Bytes from 0x80 stay as they are (Windows-1252).
bool NeedsEscape(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F || byte == '%' || byte == '"';
}

void AppendQuoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (NeedsEscape(byte)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Appends `value` in decimal, at least `width` digits with leading zeros.
void AppendDigits(std::string& out, std::uint64_t value, std::size_t width) {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || count < width);
    while (count > 0) {
        out += digits[--count];
    }
}

// Appends the time as TimeText writes it. Every file's line holds one or two, which is why it
// does without snprintf.
void AppendTime(std::string& out, platform::FileTime time, bool fraction) {
    using namespace std::chrono;
    const auto seconds = static_cast<std::int64_t>(time / kStepsPerSecond) - kEpochDifference;
    const sys_days day = floor<days>(sys_seconds{std::chrono::seconds{seconds}});
    const year_month_day date{day};
    const hh_mm_ss clock{std::chrono::seconds{seconds} - day.time_since_epoch()};
    AppendDigits(out, static_cast<std::uint64_t>(static_cast<int>(date.year())), 4);
    out += '-';
    AppendDigits(out, static_cast<unsigned>(date.month()), 2);
    out += '-';
    AppendDigits(out, static_cast<unsigned>(date.day()), 2);
    out += 'T';
    AppendDigits(out, static_cast<std::uint64_t>(clock.hours().count()), 2);
    out += ':';
    AppendDigits(out, static_cast<std::uint64_t>(clock.minutes().count()), 2);
    out += ':';
    AppendDigits(out, static_cast<std::uint64_t>(clock.seconds().count()), 2);
    if (fraction) {
        out += '.';
        AppendDigits(out, time % kStepsPerSecond, 7);
    }
    out += 'Z';
}

std::string TimeText(platform::FileTime time, bool fraction) {
    std::string out;
    AppendTime(out, time, fraction);
    return out;
}

void AppendHash(std::string& out, const Hash& hash) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const std::uint64_t half : {hash.high, hash.low}) {
        for (int shift = 60; shift >= 0; shift -= 4) {
            out += kHex[(half >> shift) & 0xF];
        }
    }
}

bool ReadNumber(std::string_view text, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, unsigned& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

// Reads what TimeText writes, exactly: with `fraction`, seven digits of 100-nanosecond steps.
std::optional<platform::FileTime> ParseTime(std::string_view text, bool fraction) {
    using namespace std::chrono;
    const std::size_t length = fraction ? 28 : 20;
    unsigned yearNumber = 0, monthNumber = 0, dayNumber = 0, hour = 0, minute = 0, second = 0;
    unsigned steps = 0;
    if (text.size() != length || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text.back() != 'Z' ||
        !ReadDigits(text, 0, 4, yearNumber) || !ReadDigits(text, 5, 2, monthNumber) ||
        !ReadDigits(text, 8, 2, dayNumber) || !ReadDigits(text, 11, 2, hour) ||
        !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second) ||
        (fraction && (text[19] != '.' || !ReadDigits(text, 20, 7, steps)))) {
        return std::nullopt;
    }
    const year_month_day date{year{static_cast<int>(yearNumber)}, month{monthNumber},
                              day{dayNumber}};
    if (!date.ok() || yearNumber < 1601 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const std::int64_t seconds = sys_days{date}.time_since_epoch().count() * 86400 + hour * 3600 +
                                 minute * 60 + second + kEpochDifference;
    return static_cast<platform::FileTime>(seconds) * kStepsPerSecond + steps;
}

void AppendStamp(std::string& out, const FileStamp& stamp) {
    out += " size ";
    AppendDigits(out, stamp.size, 1);
    out += " time ";
    AppendTime(out, stamp.written, true);
    out += " hash ";
    AppendHash(out, stamp.hash);
}

std::string_view FileActionWord(FileAction action) {
    switch (action) {
        case FileAction::kCreated:
            return "created";
        case FileAction::kReplaced:
            return "replaced";
        case FileAction::kKeptNewer:
            return "kept-newer";
        case FileAction::kKeptIdentical:
            return "kept-identical";
        case FileAction::kFailed:
            return "failed";
    }
    return "failed";
}

std::string_view TextureActionWord(TextureAction action) {
    switch (action) {
        case TextureAction::kInserted:
            return "inserted";
        case TextureAction::kReplaced:
            return "replaced";
        case TextureAction::kRemoved:
            return "removed";
    }
    return "removed";
}

// One line cut into its words: plain words end at a blank, quoted texts at their closing quote.
// Words stand one blank apart, with none at either end.
struct Words {
    std::vector<std::string> words;
    std::vector<bool> quoted;
};

bool SplitLine(std::string_view line, Words& out, std::string& what) {
    std::size_t at = 0;
    while (at < line.size()) {
        std::string word;
        const bool quoted = line[at] == '"';
        if (quoted) {
            ++at;
            for (;;) {
                if (at >= line.size()) {
                    what = "a quoted text is not closed";
                    return false;
                }
                const auto byte = static_cast<unsigned char>(line[at]);
                if (byte == '"') {
                    ++at;
                    break;
                }
                if (byte == '%') {
                    const int high = at + 2 < line.size() ? HexDigit(line[at + 1]) : -1;
                    const int low = at + 2 < line.size() ? HexDigit(line[at + 2]) : -1;
                    if (high < 0 || low < 0) {
                        what = "a '%' in a quoted text is not followed by two hexadecimal digits";
                        return false;
                    }
                    word += static_cast<char>(high * 16 + low);
                    at += 3;
                    continue;
                }
                if (NeedsEscape(byte)) {
                    what = "a control byte stands unescaped in a quoted text";
                    return false;
                }
                word += line[at++];
            }
        } else {
            const std::size_t start = at;
            while (at < line.size() && line[at] != ' ') {
                const auto byte = static_cast<unsigned char>(line[at]);
                if (byte < 0x20 || byte == 0x7F || byte == '"') {
                    what = "a control byte or a stray quote stands in a word";
                    return false;
                }
                ++at;
            }
            word.assign(line.substr(start, at - start));
            if (word.empty()) {
                what = "words must stand one blank apart";
                return false;
            }
        }
        out.words.push_back(std::move(word));
        out.quoted.push_back(quoted);
        if (at < line.size()) {
            if (line[at] != ' ' || at + 1 == line.size()) {
                what = "words must stand one blank apart, with none at the end of the line";
                return false;
            }
            ++at;
        }
    }
    return true;
}

// Reads the lines of one record, keeping the line number for its errors.
class Parser {
  public:
    Parser(std::string_view text, ReadError& error) : text_(text), error_(error) {}

    std::optional<InstallRecord> Parse() {
        InstallRecord record;
        if (!Version() || !Header(record)) {
            return std::nullopt;
        }
        while (NextLine()) {
            if (words_.words.size() == 1 && words_.words[0] == "end" && !words_.quoted[0]) {
                if (!NextLine() && !failed_) {
                    return record;
                }
                return Fail("nothing may follow the end line");
            }
            if (!Body(record)) {
                return std::nullopt;
            }
        }
        if (failed_) {
            return std::nullopt;
        }
        error_ = {ReadError::Kind::kTruncated, line_ + 1, "the record ends before its end line"};
        return std::nullopt;
    }

  private:
    // Moves to the next line and cuts it into words; false at the end of the text or when the
    // line cannot be cut (failed_ tells which).
    bool NextLine() {
        if (at_ >= text_.size()) {
            return false;
        }
        const std::size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos) {
            // A last line without its line feed was cut short.
            ++line_;
            error_ = {ReadError::Kind::kTruncated, line_, "the last line has no line feed"};
            failed_ = true;
            return false;
        }
        std::string_view line = text_.substr(at_, end - at_);
        at_ = end + 1;
        ++line_;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);  // a record saved again by a Windows editor
        }
        words_.words.clear();
        words_.quoted.clear();
        std::string what;
        if (line.empty()) {
            Fail("an empty line");
            return false;
        }
        if (!SplitLine(line, words_, what)) {
            Fail(what);
            return false;
        }
        return true;
    }

    // The next line, which must be there: the end of the text is a truncation.
    bool More() {
        if (NextLine()) {
            return true;
        }
        if (!failed_) {
            error_ = {ReadError::Kind::kTruncated, line_ + 1,
                      "the record ends before its end line"};
            failed_ = true;
        }
        return false;
    }

    std::nullopt_t Fail(std::string what) {
        if (!failed_) {
            error_ = {ReadError::Kind::kDamaged, line_, std::move(what)};
            failed_ = true;
        }
        return std::nullopt;
    }

    bool FailLine(std::string what) {
        Fail(std::move(what));
        return false;
    }

    // Whether the line is `shape`: one letter a word, 'w' a plain word that must equal the next
    // of `fixed`, 'p' any plain word, 'q' a quoted text.
    bool Shaped(std::string_view shape, std::initializer_list<std::string_view> fixed) {
        if (words_.words.size() != shape.size()) {
            return false;
        }
        auto next = fixed.begin();
        for (std::size_t i = 0; i < shape.size(); ++i) {
            const bool quoted = words_.quoted[i];
            if ((shape[i] == 'q') != quoted) {
                return false;
            }
            if (shape[i] == 'w' && (next == fixed.end() || words_.words[i] != *next++)) {
                return false;
            }
        }
        return true;
    }

    bool Version() {
        if (!NextLine()) {
            if (!failed_) {
                error_ = {ReadError::Kind::kTruncated, 1, "the record is empty"};
            }
            return false;
        }
        const std::string& first = words_.words[0];
        std::string joined;
        for (std::size_t i = 0; i + 1 < words_.words.size(); ++i) {
            joined += (i == 0 ? "" : " ") + words_.words[i];
        }
        std::uint64_t version = 0;
        if (words_.words.size() < 2 || joined != kRecordMagic ||
            !ReadNumber(words_.words.back(), version) || version == 0) {
            return FailLine(first == "Kolvane" ? "the first line names no format version"
                                               : "this is no install record of Kolvane");
        }
        if (version > static_cast<std::uint64_t>(kFormatVersion)) {
            error_ = {ReadError::Kind::kNewer, line_,
                      "written in format version " + words_.words.back() +
                          ", newer than this program reads (" + std::to_string(kFormatVersion) +
                          ")"};
            failed_ = true;
            return false;
        }
        return true;
    }

    bool Header(InstallRecord& record) {
        std::optional<Hash> script;
        if (!More() || !Shaped("wqwp", {"package", "script"}) ||
            !(script = ParseHash(words_.words[3])) || words_.words[1].empty()) {
            return FailLine("expected: package \"NAME\" script HASH");
        }
        record.package = words_.words[1];
        record.script = *script;
        if (!More() || !Shaped("wq", {"host"}) || words_.words[1].empty()) {
            return FailLine("expected: host \"FOLDER\"");
        }
        record.host = words_.words[1];
        if (!More() || !Shaped("wp", {"date"}) || !ParseTime(words_.words[1], false)) {
            return FailLine("expected: date YYYY-MM-DDTHH:MM:SSZ");
        }
        record.date = words_.words[1];
        if (!More() || !Shaped("wp", {"state"}) ||
            (words_.words[1] != "started" && words_.words[1] != "finished")) {
            return FailLine("expected: state started or state finished");
        }
        record.state =
            words_.words[1] == "finished" ? RecordState::kFinished : RecordState::kStarted;
        return true;
    }

    // A path relative to the host's folder, refused where it would reach outside it.
    bool InsidePath(const std::string& path) {
        if (path.empty() || !names::StaysInsideBase(path)) {
            return FailLine("the path leaves the host's folder");
        }
        return true;
    }

    // The stamp in words `at` to `at` + 5: size N time T hash H.
    bool Stamp(std::size_t at, FileStamp& stamp) {
        const auto& w = words_.words;
        std::optional<platform::FileTime> time;
        std::optional<Hash> hash;
        if (at + 6 > w.size() || w[at] != "size" || !ReadNumber(w[at + 1], stamp.size) ||
            w[at + 2] != "time" || !(time = ParseTime(w[at + 3], true)) || w[at + 4] != "hash" ||
            !(hash = ParseHash(w[at + 5]))) {
            return FailLine("expected: size BYTES time YYYY-MM-DDTHH:MM:SS.FFFFFFFZ hash HASH");
        }
        stamp.written = *time;
        stamp.hash = *hash;
        return true;
    }

    bool Identifier(const std::string& word, int& identifier) {
        const char* end = word.data() + word.size();
        const auto result = std::from_chars(word.data(), end, identifier);
        if (result.ec != std::errc() || result.ptr != end) {
            return FailLine("the texture identifier is no 32-bit number");
        }
        return true;
    }

    bool Body(InstallRecord& record) {
        const auto& w = words_.words;
        if (Shaped("wq", {"folder"})) {
            if (!InsidePath(w[1])) {
                return false;
            }
            record.folders.push_back(w[1]);
            return true;
        }
        if (Shaped("wwqwpwpwpwwpwpwp",
                   {"file", "replaced", "size", "time", "hash", "old", "size", "time", "hash"})) {
            FileEntry entry{FileAction::kReplaced, w[2], FileStamp{}, FileStamp{}};
            if (!InsidePath(w[2]) || !Stamp(3, *entry.now) || !Stamp(10, *entry.old)) {
                return false;
            }
            record.files.push_back(std::move(entry));
            return true;
        }
        if (Shaped("wwqwpwpwp", {"file", "created", "size", "time", "hash"})) {
            FileEntry entry{FileAction::kCreated, w[2], FileStamp{}, std::nullopt};
            if (!InsidePath(w[2]) || !Stamp(3, *entry.now)) {
                return false;
            }
            record.files.push_back(std::move(entry));
            return true;
        }
        for (const FileAction action :
             {FileAction::kKeptNewer, FileAction::kKeptIdentical, FileAction::kFailed}) {
            if (Shaped("wwq", {"file", FileActionWord(action)})) {
                if (!InsidePath(w[2])) {
                    return false;
                }
                record.files.push_back({action, w[2], std::nullopt, std::nullopt});
                return true;
            }
        }
        if (Shaped("wqwwpwpwpwwpwpwp", {"catalogue", "before", "size", "time", "hash", "after",
                                        "size", "time", "hash"})) {
            CatalogChange change{.path = w[1], .before = {}, .after = {}};
            if (record.catalog) {
                return FailLine("a second catalogue line");
            }
            if (w[1].empty() || !Stamp(3, change.before) || !Stamp(10, change.after)) {
                return FailLine("expected: catalogue \"PATH\" before STAMP after STAMP");
            }
            record.catalog = std::move(change);
            return true;
        }
        TextureEntry texture;
        if (Shaped("wwpq", {"texture", "inserted"})) {
            texture = {TextureAction::kInserted, 0, w[3], {}};
        } else if (Shaped("wwpqwq", {"texture", "replaced", "old"})) {
            texture = {TextureAction::kReplaced, 0, w[3], w[5]};
        } else if (Shaped("wwpwq", {"texture", "removed", "old"})) {
            texture = {TextureAction::kRemoved, 0, {}, w[4]};
        } else {
            return FailLine("a line that the format does not know: " +
                            (words_.quoted[0] ? std::string("a quoted text") : w[0]) +
                            (w.size() > 1 && !words_.quoted[1] ? " " + w[1] : ""));
        }
        if (!Identifier(w[2], texture.identifier)) {
            return false;
        }
        record.textures.push_back(std::move(texture));
        return true;
    }

    std::string_view text_;
    ReadError& error_;
    std::size_t at_ = 0;
    std::size_t line_ = 0;
    bool failed_ = false;
    Words words_;
};

}  // namespace

std::string HashText(const Hash& hash) {
    std::string out;
    AppendHash(out, hash);
    return out;
}

std::optional<Hash> ParseHash(std::string_view text) {
    if (text.size() != 32) {
        return std::nullopt;
    }
    Hash hash;
    for (std::size_t i = 0; i < 32; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        std::uint64_t& half = i < 16 ? hash.high : hash.low;
        half = half << 4 | static_cast<std::uint64_t>(digit);
    }
    return hash;
}

std::string FolderLine(const std::string& folder) {
    std::string out = "folder ";
    AppendQuoted(out, folder);
    return out + '\n';
}

std::string FileLine(const FileEntry& file) {
    std::string out = "file ";
    out += FileActionWord(file.action);
    out += ' ';
    AppendQuoted(out, file.path);
    if (file.action == FileAction::kCreated || file.action == FileAction::kReplaced) {
        AppendStamp(out, file.now.value_or(FileStamp{}));
    }
    if (file.action == FileAction::kReplaced) {
        out += " old";
        AppendStamp(out, file.old.value_or(FileStamp{}));
    }
    return out + '\n';
}

std::string JournalOf(std::string_view recordPath) {
    constexpr std::string_view kText = ".txt";
    if (recordPath.size() >= kText.size() &&
        recordPath.substr(recordPath.size() - kText.size()) == kText) {
        recordPath.remove_suffix(kText.size());
    }
    return std::string(recordPath) + ".journal";
}

bool ReadJournal(std::string_view journal, InstallRecord& record, ReadError& error) {
    // A last line without its line feed was being appended when the run was killed: the change
    // it tells of had not begun.
    const std::size_t complete = journal.rfind('\n');
    journal = complete == std::string_view::npos ? "" : journal.substr(0, complete + 1);
    // Read as the body of a record with the same head.
    InstallRecord head = record;
    head.folders.clear();
    head.files.clear();
    head.catalog.reset();
    head.textures.clear();
    std::string text = WriteRecord(head);
    text.resize(text.size() - std::string_view("end\n").size());
    const auto headLines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    text += journal;
    text += "end\n";
    const std::optional<InstallRecord> read = ReadRecord(text, error);
    if (!read || read->catalog || !read->textures.empty()) {
        if (read) {
            error = {ReadError::Kind::kDamaged, 0, "a journal holds folders and files only"};
        }
        error.line = error.line > headLines ? error.line - headLines : 0;
        return false;
    }
    record.folders = read->folders;
    record.files = read->files;
    return true;
}

std::string WriteRecord(const InstallRecord& record) {
    std::string out(kRecordMagic);
    out += " " + std::to_string(kFormatVersion) + "\npackage ";
    AppendQuoted(out, record.package);
    out += " script " + HashText(record.script) + "\nhost ";
    AppendQuoted(out, record.host);
    out += "\ndate " + record.date + "\nstate ";
    out += record.state == RecordState::kFinished ? "finished\n" : "started\n";
    for (const std::string& folder : record.folders) {
        out += FolderLine(folder);
    }
    for (const FileEntry& file : record.files) {
        out += FileLine(file);
    }
    if (record.catalog) {
        out += "catalogue ";
        AppendQuoted(out, record.catalog->path);
        out += " before";
        AppendStamp(out, record.catalog->before);
        out += " after";
        AppendStamp(out, record.catalog->after);
        out += '\n';
    }
    for (const TextureEntry& texture : record.textures) {
        out += "texture ";
        out += TextureActionWord(texture.action);
        out += ' ' + std::to_string(texture.identifier);
        if (texture.action != TextureAction::kRemoved) {
            out += ' ';
            AppendQuoted(out, texture.text);
        }
        if (texture.action != TextureAction::kInserted) {
            out += " old ";
            AppendQuoted(out, texture.old);
        }
        out += '\n';
    }
    return out + "end\n";
}

std::optional<InstallRecord> ReadRecord(std::string_view text, ReadError& error) {
    return Parser(text, error).Parse();
}

std::string DescribeError(std::string_view file, const ReadError& error) {
    std::string out(file);
    out += ':' + std::to_string(error.line) + ": ";
    switch (error.kind) {
        case ReadError::Kind::kDamaged:
            out += "damaged record: ";
            break;
        case ReadError::Kind::kTruncated:
            out += "truncated record: ";
            break;
        case ReadError::Kind::kNewer:
            out += "record of a newer Kolvane: ";
            break;
    }
    return out + error.what;
}

std::string DateText(platform::FileTime time) {
    return TimeText(time, false);
}

}  // namespace kolvane::records
