#include "platform/posix/wine_program_list.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "names/letter_case.h"
#include "names/windows_text.h"
#include "platform/posix/posix_files.h"

namespace kolvane::platform {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSeconds1601To1970 = 11'644'473'600;

// `text` as Wine's registry files write a string: backslash and the characters of `escape`
// escaped, control characters as C escapes or octal, characters beyond ASCII as \x and their
// hexadecimal code (four digits where a hexadecimal digit follows), UTF-16 units as they are.
std::string Escaped(std::u16string_view text, std::string_view escape) {
    static constexpr char kEscapes[] = ".......abtnvfr.............e....";
    const auto isHex = [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    std::string out;
    char buffer[16];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool last = i + 1 == text.size();
        if (c > 127) {
            std::snprintf(buffer, sizeof buffer, !last && isHex(text[i + 1]) ? "\\x%04x" : "\\x%x",
                          static_cast<unsigned>(c));
            out += buffer;
        } else if (c < 32) {
            if (kEscapes[c] != '.') {
                out += '\\';
                out += kEscapes[c];
            } else {
                const bool octalFollows = !last && text[i + 1] >= u'0' && text[i + 1] <= u'7';
                std::snprintf(buffer, sizeof buffer, octalFollows ? "\\%03o" : "\\%o",
                              static_cast<unsigned>(c));
                out += buffer;
            }
        } else {
            if (c == u'\\' || escape.find(static_cast<char>(c)) != std::string_view::npos) {
                out += '\\';
            }
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string EscapedAnsi(std::string_view windows1252, std::string_view escape) {
    return Escaped(names::Windows1252ToUtf16(windows1252), escape);
}

// The key path of a "[...]" line as Wine writes it, its parts separated by "\\".
std::string KeyLine(const std::vector<std::string>& parts) {
    std::string line;
    for (const std::string& part : parts) {
        line += (line.empty() ? "" : "\\\\") + EscapedAnsi(part, "[]");
    }
    return line;
}

// The parts of a key path as a "[...]" line holds it (still escaped), letter case folded, for
// placing keys in Wine's order.
std::vector<std::string> FoldedParts(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t stop = path.find("\\\\", start);
        parts.push_back(names::FoldCase(path.substr(start, stop - start)));
        if (stop == std::string_view::npos) {
            return parts;
        }
        start = stop + 2;
    }
}

// A key's block as Wine writes it: a blank line, the key line, its time, its values.
std::string Block(const std::string& path, const ProgramEntry& entry, FileTime now) {
    char line[64];
    std::snprintf(line, sizeof line, "] %llu\n#time=%llx\n",
                  static_cast<unsigned long long>(now / kTicksPerSecond - kSeconds1601To1970),
                  static_cast<unsigned long long>(now));
    std::string block = "\n[" + path + line;
    std::vector<ProgramValue> values = entry.values;
    std::sort(values.begin(), values.end(), [](const ProgramValue& a, const ProgramValue& b) {
        return names::FoldCase(a.name) < names::FoldCase(b.name);
    });
    for (const ProgramValue& value : values) {
        block += "\"" + EscapedAnsi(value.name, "\"") + "\"=";
        if (value.type == kRegDword) {
            std::snprintf(line, sizeof line, "dword:%08x\n", value.number);
            block += line;
        } else {
            block += "\"" + EscapedAnsi(value.text, "\"") + "\"\n";
        }
    }
    return block;
}

// The key path of the block that begins at `text[at]` ("\n[...] ..."), still escaped.
std::string_view PathAt(std::string_view text, std::size_t at) {
    const std::size_t start = at + 2;
    std::size_t end = start;
    while (end < text.size() && text[end] != ']' && text[end] != '\n') {
        end += text[end] == '\\' ? 2 : 1;
    }
    return text.substr(start, std::min(end, text.size()) - start);
}

}  // namespace

std::string UpdateWineProgramList(std::string_view text, const std::string& prefix,
                                  const std::vector<ProgramEntry>& entries, FileTime now) {
    std::string header;
    if (text.empty()) {
        header =
            "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
            "\n#arch=win64\n";
        text = header;
    }
    std::vector<std::string> listParts;
    for (std::size_t start = 0;;) {
        const std::size_t stop = kUninstallKey.find('\\', start);
        listParts.emplace_back(kUninstallKey.substr(start, stop - start));
        if (stop == std::string_view::npos) {
            break;
        }
        start = stop + 1;
    }
    const std::vector<std::string> ourParts =
        FoldedParts(KeyLine(listParts) + "\\\\" + EscapedAnsi(prefix, "[]"));
    const std::string ours =
        names::FoldCase(KeyLine(listParts) + "\\\\" + EscapedAnsi(prefix, "[]"));

    // The blocks of the text: each key begins a line with "[", after a line feed.
    std::vector<std::size_t> starts;
    for (std::size_t at = text.find("\n["); at != std::string_view::npos;
         at = text.find("\n[", at + 1)) {
        starts.push_back(at);
    }
    std::vector<std::string> blocks;
    for (const ProgramEntry& entry : entries) {
        std::vector<std::string> parts = listParts;
        parts.push_back(entry.key);
        blocks.push_back(Block(KeyLine(parts), entry, now));
    }
    // Ours, in the order of their keys, all go where the first of them belongs: they share their
    // parent, and no other key sorts between keys of one prefix.
    std::sort(blocks.begin(), blocks.end(), [](const std::string& a, const std::string& b) {
        return names::FoldCase(a.substr(0, a.find(']'))) <
               names::FoldCase(b.substr(0, b.find(']')));
    });
    std::string out;
    out.reserve(text.size() + blocks.size() * 512);
    bool placed = false;
    const auto place = [&] {
        if (!placed) {
            for (const std::string& block : blocks) {
                out += block;
            }
            placed = true;
        }
    };
    out.append(text.substr(0, starts.empty() ? text.size() : starts.front()));
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        const std::string_view path = PathAt(text, starts[i]);
        const std::string folded = names::FoldCase(path);
        if (folded.starts_with(ours)) {
            continue;  // one of ours: written anew
        }
        if (!placed && FoldedParts(path) > ourParts) {
            place();
        }
        out.append(text.substr(starts[i], end - starts[i]));
    }
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    place();
    return out;
}

WineProgramList::WineProgramList(std::string prefixDirectory)
    : prefix_(std::move(prefixDirectory)) {}

bool WineProgramList::Update(const std::string& prefix, const std::vector<ProgramEntry>& entries) {
    // The prefix's folder as a drive of its own, so that the write core reaches user.reg.
    DriveMap drives;
    drives.Assign('k', prefix_);
    PosixFiles files(std::move(drives));
    const std::string path = "K:\\user.reg";
    std::string text;
    bool missing = false;
    {
        Sight sight;
        files.Look(path, sight);
        missing = sight.missing;
    }
    if (!missing && !files.ReadContents(path, text)) {
        return false;
    }
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const FileTime time =
        static_cast<FileTime>(now.count()) * 10 + kSeconds1601To1970 * kTicksPerSecond;
    const std::string updated = UpdateWineProgramList(text, prefix, entries, time);
    return updated == text || files.ReplaceContents(path, updated);
}

}  // namespace kolvane::platform
