#include "check/script_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>

#include "names/contained_path.h"
#include "names/letter_case.h"
#include "names/windows_path.h"
#include "script/script_entry.h"
#include "script/script_reader.h"
#include "textures/catalog_text.h"
#include "textures/texture_entry.h"

namespace kolvane::check {
namespace {

constexpr std::array<const char*, 2> kSections = {kFileSection, kTextureSection};

// How much of a piece of script text a message shows.
constexpr std::size_t kLongest = 60;
constexpr std::size_t kStrayShown = kLongest + 1;

// A piece of script text for a message, cut short when long.
std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    quoted += text.substr(0, kLongest);
    if (text.size() > kLongest) {
        quoted += "...";
    }
    return quoted + "\"";
}

std::size_t SkipWhitespace(std::string_view text, std::size_t offset) {
    while (offset < text.size() && IsScriptWhitespace(text[offset])) {
        ++offset;
    }
    return offset;
}

bool HasWhitespace(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsScriptWhitespace);
}

// Whitespace inside a word, where dropping it joins two words the author kept apart. Blanks
// beside braces, after ')' and around ">>" only lay out the script.
bool JoinsWords(std::string_view raw) {
    std::size_t p = 0;
    while (p < raw.size()) {
        if (!IsScriptWhitespace(raw[p])) {
            ++p;
            continue;
        }
        const std::size_t runEnd = SkipWhitespace(raw, p);
        if (p > 0 && runEnd < raw.size()) {
            const char before = raw[p - 1];
            const char after = raw[runEnd];
            const std::string_view layoutBefore = "{})>";
            const std::string_view layoutAfter = "{}>";
            if (layoutBefore.find(before) == std::string_view::npos &&
                layoutAfter.find(after) == std::string_view::npos) {
                return true;
            }
        }
        p = runEnd;
    }
    return false;
}

class LineIndex {
  public:
    explicit LineIndex(std::string_view text) {
        for (std::size_t p = 0; p < text.size(); ++p) {
            if (text[p] == '\n') {
                lineStarts_.push_back(p + 1);
            }
        }
    }
    int LineAt(std::size_t offset) const {
        const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
        return static_cast<int>(after - lineStarts_.begin()) + 1;
    }

  private:
    std::vector<std::size_t> lineStarts_;
};

void CheckNames(const ScriptOutline& outline, const LineIndex& lines, std::string_view text,
                Report& report) {
    for (const char* section : kSections) {
        const ScriptName* first = nullptr;
        for (const ScriptName& name : outline.names) {
            if (name.text != section) {
                continue;
            }
            if (first == nullptr) {
                first = &name;
                continue;
            }
            report.Add(Severity::kWarning, lines.LineAt(name.begin), "section-repeated",
                       std::string("section ") + section + " is given again (first on line " +
                           std::to_string(lines.LineAt(first->begin)) +
                           "); only the first is read");
        }
        if (first != nullptr) {
            continue;
        }
        if (std::string_view(section) == kFileSection) {
            report.Add(Severity::kWarning, 0, "section-missing",
                       std::string("there is no section ") + section + ": no file is installed");
        } else {
            report.Add(Severity::kError, 0, "section-missing",
                       std::string("there is no section ") + section +
                           ": the texture section fails and the installation ends with its "
                           "failure message");
        }
    }

    for (const ScriptName& name : outline.names) {
        const std::string_view raw = text.substr(name.begin, name.end - name.begin);
        const int line = lines.LineAt(name.begin);
        for (const std::string_view section : kSections) {
            if (name.text == section) {
                if (HasWhitespace(raw)) {
                    report.Add(Severity::kWarning, line, "name-joined",
                               "the name " + Quote(raw) + " is read as " + std::string(section) +
                                   ": whitespace inside a name is dropped");
                }
            } else if (name.text.size() > section.size() && name.text.ends_with(section)) {
                const std::string_view stray =
                    std::string_view(name.text).substr(0, name.text.size() - section.size());
                report.Add(Severity::kWarning, line, "name-joined",
                           "the text " + Quote(stray) + " in front of " + std::string(section) +
                               " joins its name: the reader sees " + Quote(name.text) +
                               ", not the section (put notes in braces)");
            } else if (names::EqualsIgnoringCase(name.text, section)) {
                report.Add(Severity::kWarning, line, "name-case",
                           "the name " + Quote(name.text) + " differs from " +
                               std::string(section) +
                               " in letter case; the reader compares names exactly");
            }
        }
    }
}

// Reads one section's body through the reader and reports what it meets on the way.
SectionRead ReadSection(ScriptReader& reader, const char* section, const ScriptName& name,
                        const LineIndex& lines, Report& report) {
    SectionRead read;
    read.found = reader.FindSection(section);
    if (!read.found) {
        return read;
    }
    const std::string_view text = reader.Text();
    const std::string sectionName(section);
    const std::size_t bodyStart = SkipWhitespace(text, name.end);
    if (bodyStart >= text.size() || text[bodyStart] != '{') {
        report.Add(Severity::kWarning, lines.LineAt(name.begin), "section-no-body",
                   "section " + sectionName + " has no body in braces");
    }

    bool endedEarly = false;
    for (;;) {
        const std::size_t start = SkipWhitespace(text, reader.Offset());
        std::string entry;
        if (reader.ReadEntry(entry)) {
            const int line = lines.LineAt(start);
            if (JoinsWords(text.substr(start, reader.Offset() - start))) {
                report.Add(Severity::kWarning, line, "entry-joined",
                           "whitespace inside the entry is dropped: it is read as " + Quote(entry));
            }
            if (!SplitEntry(entry)) {
                report.Add(Severity::kWarning, line, "entry-no-separator",
                           "the entry " + Quote(entry) + " has no \">>\" and is skipped");
            }
            read.entries.push_back({std::move(entry), line});
            continue;
        }
        if (start >= text.size()) {
            if (!endedEarly) {
                report.Add(Severity::kWarning, lines.LineAt(name.begin), "section-unclosed",
                           "the body of section " + sectionName +
                               " is never closed: the script ends inside it");
            }
            break;
        }
        if (text[start] == '{') {
            report.Add(Severity::kWarning, lines.LineAt(start), "entry-unclosed",
                       "this entry is never closed: the script ends inside it, and it is not "
                       "read");
            break;
        }
        if (text[start] == '}' || endedEarly) {
            break;
        }
        // Stray text: the section ends here. Read on past it to show what it hides.
        endedEarly = true;
        std::string stray(1, text[start]);
        std::vector<CheckedEntry> hidden;
        for (;;) {
            const std::size_t next = SkipWhitespace(text, reader.Offset());
            if (reader.ReadEntry(entry)) {
                hidden.push_back({entry, lines.LineAt(next)});
                continue;
            }
            if (next >= text.size() || text[next] == '{' || text[next] == '}') {
                break;
            }
            if (hidden.empty() && stray.size() < kStrayShown) {
                stray += text[next];
            }
        }
        report.Add(Severity::kWarning, lines.LineAt(start), "stray-text",
                   "the text " + Quote(stray) + " ends section " + sectionName + " early" +
                       (hidden.empty()       ? std::string()
                        : hidden.size() == 1 ? std::string("; the entry after it is never read")
                                             : "; the " + std::to_string(hidden.size()) +
                                                   " entries after it are never read"));
        for (const CheckedEntry& lost : hidden) {
            report.Add(Severity::kWarning, lost.line, "entry-hidden",
                       "the entry " + Quote(lost.text) + " is never read: stray text on line " +
                           std::to_string(lines.LineAt(start)) + " ended the section");
        }
    }
    if (read.entries.empty() && !endedEarly) {
        report.Add(Severity::kWarning, lines.LineAt(name.begin), "section-empty",
                   "section " + sectionName + " has no entries");
    }
    return read;
}

bool IsPlainDecimal(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether the plain decimal `text` names a number outside the 32-bit range.
bool OutsideIntRange(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative) {
        text.remove_prefix(1);
    }
    const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<int>::min()}
                                        : std::int64_t{std::numeric_limits<int>::max()};
    std::int64_t value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
        if (value > limit) {
            return true;
        }
    }
    return false;
}

// The identifiers of every key in `definition`, as the catalogue reads keys.
std::vector<int> KeysIn(std::string_view definition) {
    std::vector<int> keys;
    for (std::size_t at = definition.find(catalog::kKeyPrefix); at != std::string_view::npos;
         at = definition.find(catalog::kKeyPrefix, at + 1)) {
        if (const std::optional<int> key =
                catalog::KeyAfterPrefix(definition.substr(at + catalog::kKeyPrefix.size()))) {
            keys.push_back(*key);
        }
    }
    return keys;
}

bool BracesBalance(std::string_view definition) {
    long depth = 0;
    for (char c : definition) {
        if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth < 0) {
            return false;
        }
    }
    return depth == 0;
}

}  // namespace

int LineAt(std::string_view text, std::size_t offset) {
    return LineIndex(text.substr(0, std::min(offset, text.size()))).LineAt(offset);
}

bool CheckStructure(platform::Files& files, const std::string& scriptPath, Report& report,
                    SectionRead& fileSection, SectionRead& textureSection) {
    ScriptReader reader(files);
    ScriptOutline outline;
    if (!reader.Open(scriptPath) || !reader.ReadOutline(outline)) {
        report.Add(Severity::kError, 0, "script-missing",
                   "the install script " + scriptPath + " cannot be read");
        return false;
    }
    const std::string text(reader.Text());
    const LineIndex lines(text);
    CheckNames(outline, lines, text, report);

    bool unclosedIsBody = false;
    for (const char* section : kSections) {
        const auto name =
            std::find_if(outline.names.begin(), outline.names.end(),
                         [section](const ScriptName& n) { return n.text == section; });
        if (name == outline.names.end()) {
            continue;
        }
        unclosedIsBody |= SkipWhitespace(text, name->end) == outline.unclosedBlock;
        SectionRead read = ReadSection(reader, section, *name, lines, report);
        (std::string_view(section) == kFileSection ? fileSection : textureSection) =
            std::move(read);
    }
    if (outline.unclosedBlock != std::string::npos && !unclosedIsBody) {
        report.Add(Severity::kWarning, lines.LineAt(outline.unclosedBlock), "block-unclosed",
                   "this block is never closed: everything after it is skipped, sections "
                   "included");
    }
    return true;
}

void CheckFileEntries(const std::vector<CheckedEntry>& entries, const std::string& packageDir,
                      platform::Files& files, DiskProbe& probe, Report& report) {
    std::map<std::string, const CheckedEntry*> destinations;
    for (const CheckedEntry& entry : entries) {
        const std::optional<EntryParts> parts = SplitEntry(entry.text);
        if (!parts) {
            continue;
        }
        if (!names::StaysInsideBase(parts->left)) {
            report.Add(Severity::kError, entry.line, "source-escapes",
                       "the source " + Quote(parts->left) +
                           " leaves the package folder; the installer refuses the entry");
        } else {
            const std::string source = packageDir + "\\" + std::string(parts->left);
            const platform::ScopedFile file(files, source);
            if (!file.IsOpen()) {
                report.Add(Severity::kError, entry.line, "source-missing",
                           "the source " + Quote(parts->left) +
                               " is not a file in the package; its copy fails");
            } else if (files.LocateIn(source, packageDir) == platform::Location::kOutside) {
                report.Add(Severity::kError, entry.line, "source-outside",
                           "the source " + Quote(parts->left) +
                               " is a link that leads out of the package folder; the installer "
                               "refuses the entry");
            } else if (!probe.HasExactCase(source)) {
                report.Add(Severity::kWarning, entry.line, "source-case",
                           "the source " + Quote(parts->left) +
                               " exists only in another letter case: found where names ignore "
                               "case (Windows, Wine), missing elsewhere");
            }
        }
        if (!names::StaysInsideBase(parts->right)) {
            report.Add(Severity::kError, entry.line, "destination-escapes",
                       "the destination " + Quote(parts->right) +
                           " leaves the host folder; the installer refuses the entry");
            continue;
        }
        const auto [earlier, added] = destinations.emplace(names::PathKey(parts->right), &entry);
        if (added) {
            continue;
        }
        const std::string_view earlierPart = SplitEntry(earlier->second->text)->right;
        const std::string where = " (line " + std::to_string(earlier->second->line) + ")";
        if (earlierPart == parts->right) {
            report.Add(Severity::kWarning, entry.line, "destination-repeated",
                       "the destination " + Quote(parts->right) + " is written again" + where +
                           "; the later copy replaces the earlier one");
        } else {
            report.Add(Severity::kWarning, entry.line, "destination-case",
                       "the destination " + Quote(parts->right) + " differs from " +
                           Quote(earlierPart) + where +
                           " only in letter case: one file where names ignore case, two "
                           "elsewhere");
        }
    }
}

void CheckTextureEntries(const std::vector<CheckedEntry>& entries, Report& report) {
    std::map<int, int> lineOf;
    for (const CheckedEntry& entry : entries) {
        const std::optional<EntryParts> parts = SplitEntry(entry.text);
        if (!parts) {
            continue;
        }
        const int identifier = catalog::ParseIdentifier(parts->left);
        const std::string read = " the installer reads it as " + std::to_string(identifier);
        if (!IsPlainDecimal(parts->left)) {
            report.Add(
                Severity::kWarning, entry.line, "identifier-text",
                "the identifier " + Quote(parts->left) + " is not a plain decimal number;" + read);
        } else if (OutsideIntRange(parts->left)) {
            report.Add(
                Severity::kWarning, entry.line, "identifier-range",
                "the identifier " + Quote(parts->left) + " lies outside the 32-bit range;" + read);
        }
        const auto [earlier, added] = lineOf.emplace(identifier, entry.line);
        if (!added) {
            report.Add(Severity::kWarning, entry.line, "identifier-repeated",
                       "identifier " + std::to_string(identifier) + " is given again (line " +
                           std::to_string(earlier->second) +
                           "); this later entry replaces the earlier one");
            earlier->second = entry.line;
        }

        const std::string_view definition = parts->right;
        const std::string key = catalog::IdentifierKey(identifier);
        if (definition.empty()) {
            report.Add(
                Severity::kWarning, entry.line, "definition-empty",
                "the definition is empty: the entry only removes " + key + " from the catalogue");
            continue;
        }
        if (!definition.starts_with(catalog::kEntryStart)) {
            report.Add(Severity::kError, entry.line, "definition-start",
                       "the definition " + Quote(definition) + " does not start with \"" +
                           std::string(catalog::kEntryStart) +
                           "\": the catalogue gets text that is no texture entry");
        }
        if (!BracesBalance(definition)) {
            report.Add(Severity::kError, entry.line, "definition-braces",
                       "the braces of the definition do not balance: the catalogue's blocks "
                       "after it change their meaning");
        }
        const std::vector<int> keys = KeysIn(definition);
        if (std::find(keys.begin(), keys.end(), identifier) == keys.end()) {
            report.Add(Severity::kWarning, entry.line, "definition-key-missing",
                       "the definition lacks its own key " + key +
                           ": a later installation cannot find and replace it, and adds it again");
        }
        for (int other : keys) {
            if (other != identifier) {
                report.Add(Severity::kWarning, entry.line, "definition-key-other",
                           "the definition carries the key " + catalog::IdentifierKey(other) +
                               " of another texture: installing that texture removes this one");
                break;
            }
        }
    }
}

}  // namespace kolvane::check
