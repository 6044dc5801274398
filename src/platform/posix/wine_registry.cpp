#include "platform/posix/wine_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "names/letter_case.h"
#include "names/windows_text.h"
#include "platform/posix/retry_on_signal.h"
#include "platform/posix/unique_fd.h"

namespace kolvane::platform {
namespace {

// Access rights that would change the registry; the files are only read.
constexpr std::uint32_t kWriteAccess = 0x0002 | 0x0004 | 0x0020 |  // set value, create key, link
                                       0x00010000 | 0x00040000 | 0x00080000 |  // delete, DAC, owner
                                       0x10000000 | 0x40000000;  // generic all, generic write

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

std::size_t SkipSpaces(std::string_view line, std::size_t pos) {
    while (pos < line.size() && IsSpace(line[pos])) {
        ++pos;
    }
    return pos;
}

// A string as Wine escapes it in its registry files, from `line[pos]` up to the unescaped
// character `end`: C escapes, \x with up to four hex digits, \ with up to three octal digits, any
// other escaped character standing for itself, and UTF-8 for everything beyond ASCII. On success
// `pos` rests after `end`; none when `end` never comes.
std::optional<std::u16string> ParseEscaped(std::string_view line, std::size_t& pos, char end) {
    std::u16string out;
    std::size_t p = pos;
    while (p < line.size() && line[p] != end) {
        if (line[p] == '\\') {
            if (++p == line.size()) {
                break;
            }
            const char escaped = line[p];
            static constexpr std::string_view kLetters = "abefnrtv";
            static constexpr char16_t kControls[] = {u'\a', u'\b', 0x1B,  u'\f',
                                                     u'\n', u'\r', u'\t', u'\v'};
            if (const std::size_t letter = kLetters.find(escaped); letter != kLetters.npos) {
                out += kControls[letter];
                ++p;
                continue;
            }
            if (escaped == 'x') {
                ++p;
                if (p == line.size() || !IsHexDigit(line[p])) {
                    out += u'x';
                    continue;
                }
                unsigned value = 0;
                for (int digits = 0; digits < 4 && p < line.size() && IsHexDigit(line[p]);
                     ++digits) {
                    value = value * 16 + HexValue(line[p++]);
                }
                out += static_cast<char16_t>(value);
                continue;
            }
            if (escaped >= '0' && escaped <= '7') {
                unsigned value = 0;
                for (int digits = 0;
                     digits < 3 && p < line.size() && line[p] >= '0' && line[p] <= '7'; ++digits) {
                    value = value * 8 + static_cast<unsigned>(line[p++] - '0');
                }
                out += static_cast<char16_t>(value);
                continue;
            }
            // Any other escaped character stands for itself, the end character included.
        }
        // A byte that starts no valid UTF-8 character is dropped, as Wine drops it.
        if (const std::optional<char32_t> c = names::DecodeUtf8(line, p)) {
            names::AppendUtf16(out, *c);
        }
    }
    if (p >= line.size()) {
        return std::nullopt;
    }
    pos = p + 1;
    return out;
}

// The keys of a registry path. Only the backslash separates them: unlike a file name, a key
// name may hold a slash.
std::vector<std::u16string> SplitPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t stop = path.find(u'\\', start);
        if (stop == std::u16string_view::npos) {
            stop = path.size();
        }
        if (stop > start) {
            parts.emplace_back(path.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return parts;
}

std::string ToLittleEndian(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

bool IsStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// The bytes RegQueryValueExA hands out for a value: strings in Windows-1252, one byte for each
// UTF-16 unit ('?' where the code page lacks the character), other types unchanged.
std::string AnsiData(const RegistryValue& value) {
    if (!IsStringType(value.type)) {
        return value.data;
    }
    std::string ansi;
    ansi.reserve(value.data.size() / 2);
    for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                                static_cast<unsigned char>(value.data[i + 1]) << 8);
        const std::optional<unsigned char> byte = names::Utf16ToWindows1252(unit);
        ansi += byte ? static_cast<char>(*byte) : '?';
    }
    return ansi;
}

// Reads the lines of a text one at a time, without their line end (LF or CR LF).
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(std::string& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        std::size_t end = text_.find('\n', pos_);
        const bool complete = end != std::string_view::npos;
        if (!complete) {
            end = text_.size();
        }
        line.assign(text_.substr(pos_, end - pos_));
        pos_ = complete ? end + 1 : end;
        if (complete && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// The data of one value line after its '=', in the form its type tag gives. Hex data may go on
// over further lines, each ending in a backslash. None for data Wine cannot read.
std::optional<RegistryValue> ParseData(const std::string& line, std::size_t pos,
                                       LineReader& lines) {
    const std::string_view rest = std::string_view(line).substr(pos);
    struct Tag {
        std::string_view text;
        std::uint32_t type;
        bool isString;
    };
    static constexpr Tag kStringTags[] = {
        {"\"", kRegSz, true},
        {"str:\"", kRegSz, true},
        {"str(2):\"", kRegExpandSz, true},
        {"str(7):\"", kRegMultiSz, true},
    };
    for (const Tag& tag : kStringTags) {
        if (rest.starts_with(tag.text)) {
            std::size_t at = pos + tag.text.size();
            std::optional<std::u16string> text = ParseEscaped(line, at, '"');
            if (!text) {
                return std::nullopt;
            }
            *text += u'\0';
            return RegistryValue{tag.type, ToLittleEndian(*text)};
        }
    }
    if (rest.starts_with("dword:")) {
        const auto number =
            static_cast<std::uint32_t>(std::strtoul(line.c_str() + pos + 6, nullptr, 16));
        std::string bytes;
        for (int shift = 0; shift < 32; shift += 8) {
            bytes += static_cast<char>((number >> shift) & 0xFF);
        }
        return RegistryValue{kRegDword, bytes};
    }

    RegistryValue value;
    const char* cursor = nullptr;
    if (rest.starts_with("hex:")) {
        value.type = kRegBinary;
        cursor = line.c_str() + pos + 4;
    } else if (rest.starts_with("hex(")) {
        char* end = nullptr;
        value.type = static_cast<std::uint32_t>(std::strtoul(line.c_str() + pos + 4, &end, 16));
        if (end == line.c_str() + pos + 4 || std::string_view(end).substr(0, 2) != "):") {
            return std::nullopt;
        }
        cursor = end + 2;
    } else {
        return std::nullopt;
    }

    std::string continued;
    for (;;) {
        while (IsHexDigit(*cursor)) {
            char* end = nullptr;
            const unsigned long byte = std::strtoul(cursor, &end, 16);
            if (end == cursor || byte > 0xFF) {
                return std::nullopt;
            }
            value.data += static_cast<char>(byte);
            cursor = end;
            while (IsSpace(*cursor)) {
                ++cursor;
            }
            if (*cursor == ',') {
                ++cursor;
            }
            while (IsSpace(*cursor)) {
                ++cursor;
            }
        }
        if (*cursor == '\0') {
            return value;
        }
        if (*cursor != '\\' || !lines.Next(continued)) {
            return std::nullopt;
        }
        cursor = continued.c_str();
        while (IsSpace(*cursor)) {
            ++cursor;
        }
    }
}

// How deep a registry tree can be on Windows. A deeper key in a damaged file is passed over: a
// tree of unbounded depth would be taken apart by unbounded recursion.
constexpr std::size_t kMaxKeyDepth = 512;

// Finds or creates the key below `root` named by `path`, when `path` lies at or below `branch`;
// null otherwise.
RegistryNode* KeyInBranch(RegistryNode& root, const std::vector<std::u16string>& branch,
                          const std::vector<std::u16string>& path) {
    if (path.size() < branch.size() || path.size() > kMaxKeyDepth) {
        return nullptr;
    }
    for (std::size_t i = 0; i < branch.size(); ++i) {
        if (names::FoldCase(path[i]) != branch[i]) {
            return nullptr;
        }
    }
    RegistryNode* node = &root;
    for (std::size_t i = branch.size(); i < path.size(); ++i) {
        std::unique_ptr<RegistryNode>& child = node->subkeys[names::FoldCase(path[i])];
        if (!child) {
            child = std::make_unique<RegistryNode>();
        }
        node = child.get();
    }
    return node;
}

void LoadValue(RegistryNode& key, const std::string& line, std::size_t pos, LineReader& lines) {
    std::u16string name;
    if (line[pos] == '@') {
        ++pos;
    } else {
        ++pos;
        std::optional<std::u16string> parsed = ParseEscaped(line, pos, '"');
        if (!parsed) {
            return;
        }
        name = std::move(*parsed);
    }
    pos = SkipSpaces(line, pos);
    if (pos >= line.size() || line[pos] != '=') {
        return;
    }
    pos = SkipSpaces(line, pos + 1);
    // Wine keeps a value whose data it cannot read, as an empty value without type.
    key.values[names::FoldCase(name)] = ParseData(line, pos, lines).value_or(RegistryValue{});
}

// The whole of a regular file; none when it cannot be read to its end. `regular` tells whether
// there was a regular file, or nothing, rather than a FIFO, device or folder.
std::optional<std::string> ReadWholeFile(const std::string& path, bool& regular) {
    // Without O_NONBLOCK a FIFO would hold the program until something writes to it.
    const UniqueFd fd(
        RetryOnSignal([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    if (!fd.Valid()) {
        struct stat status {};
        regular = ::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode);
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        regular = false;
        return std::nullopt;
    }
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = RetryOnSignal([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
        if (got == 0) {
            return text;
        }
        if (got < 0) {
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool IsPredefinedRoot(RegKey key) {
    return key >= kClassesRoot && key <= kDynData;
}

}  // namespace

// Key and value names compare as file names do: Windows looks both up through the same upcase
// table, and Wine's server compares them through the same case pairs, so the one rule of names
// serves the registry too.
const RegistryNode* RegistryNode::Subkey(std::u16string_view name) const {
    const auto found = subkeys.find(names::FoldCase(name));
    return found == subkeys.end() ? nullptr : found->second.get();
}

const RegistryValue* RegistryNode::Value(std::u16string_view name) const {
    const auto found = values.find(names::FoldCase(name));
    return found == values.end() ? nullptr : &found->second;
}

bool MergeWineRegistryText(std::string_view text, std::u16string_view branch, RegistryNode& root) {
    LineReader lines(text);
    std::string line;
    if (!lines.Next(line) || line != kHeader) {
        return false;
    }
    std::vector<std::u16string> branchParts = SplitPath(branch);
    for (std::u16string& part : branchParts) {
        part = names::FoldCase(part);
    }

    RegistryNode* key = nullptr;  // the key the value lines belong to; null outside the branch
    while (lines.Next(line)) {
        const std::size_t pos = SkipSpaces(line, 0);
        if (pos == line.size()) {
            continue;
        }
        switch (line[pos]) {
            case '[': {
                std::size_t at = pos + 1;
                const std::optional<std::u16string> path = ParseEscaped(line, at, ']');
                key = path ? KeyInBranch(root, branchParts, SplitPath(*path)) : nullptr;
                break;
            }
            case '@':
            case '"':
                if (key != nullptr) {
                    LoadValue(*key, line, pos, lines);
                }
                break;
            default:  // options (#time=, #class=, #arch=), comments and what Wine ignores
                break;
        }
    }
    return true;
}

WinePrefixRegistry::WinePrefixRegistry(std::string prefixDirectory)
    : prefix_(std::move(prefixDirectory)), classes_(std::make_shared<RegistryNode>()) {}

void WinePrefixRegistry::Refresh() {
    static constexpr const char* kFiles[2] = {"/system.reg", "/user.reg"};
    std::array<FileStamp, 2> stamps{};
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        struct stat status {};
        if (::stat((prefix_ + kFiles[i]).c_str(), &status) == 0) {
            stamps[i] = FileStamp{true,
                                  status.st_dev,
                                  status.st_ino,
                                  static_cast<unsigned long long>(status.st_size),
                                  status.st_mtim.tv_sec,
                                  status.st_mtim.tv_nsec};
        }
    }
    if (loaded_ && stamps == stamps_) {
        return;
    }
    // The user's classes go over the machine's, as Wine merges them. A registry file that is no
    // regular file is no registry a host was installed into.
    auto classes = std::make_shared<RegistryNode>();
    for (const char* file : kFiles) {
        bool regular = true;
        const std::optional<std::string> text = ReadWholeFile(prefix_ + file, regular);
        if (!regular) {
            classes = std::make_shared<RegistryNode>();
            break;
        }
        if (text) {
            MergeWineRegistryText(*text, u"Software\\Classes", *classes);
        }
    }
    classes_ = std::move(classes);
    stamps_ = stamps;
    loaded_ = true;
    ++loads_;
}

const RegistryNode* WinePrefixRegistry::Resolve(RegKey key,
                                                std::shared_ptr<const RegistryNode>& snapshot) {
    if (key == kClassesRoot) {
        Refresh();
        snapshot = classes_;
        return classes_.get();
    }
    const auto found = handles_.find(key);
    if (found == handles_.end()) {
        return nullptr;
    }
    snapshot = found->second.snapshot;
    return found->second.node;
}

RegResult WinePrefixRegistry::OpenKey(RegKey parent, const std::string& subkey,
                                      std::uint32_t access, RegKey& result) {
    if ((access & kWriteAccess) != 0) {
        return kErrorAccessDenied;
    }
    std::shared_ptr<const RegistryNode> snapshot;
    const RegistryNode* node = Resolve(parent, snapshot);
    if (node == nullptr) {
        // The other predefined roots exist, but the prefix presents no keys below them.
        return IsPredefinedRoot(parent) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    for (const std::u16string& part : SplitPath(names::Windows1252ToUtf16(subkey))) {
        node = node->Subkey(part);
        if (node == nullptr) {
            return kErrorFileNotFound;
        }
    }
    result = nextHandle_++;
    handles_.emplace(result, OpenedKey{std::move(snapshot), node});
    return kErrorSuccess;
}

RegResult WinePrefixRegistry::QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                                         std::uint8_t* data, std::uint32_t& size) {
    std::shared_ptr<const RegistryNode> snapshot;
    const RegistryNode* node = Resolve(key, snapshot);
    if (node == nullptr) {
        return IsPredefinedRoot(key) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    const RegistryValue* value = node->Value(names::Windows1252ToUtf16(name));
    if (value == nullptr) {
        return kErrorFileNotFound;
    }
    const std::string bytes = AnsiData(*value);
    type = value->type;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) {  // a question for the size only
        size = needed;
        return kErrorSuccess;
    }
    if (needed > size) {
        size = needed;
        return kErrorMoreData;
    }
    std::copy(bytes.begin(), bytes.end(), data);
    // Like Windows, end a string stored without its NUL when the buffer has room for one; an empty
    // string stays without.
    if (IsStringType(value->type) && !bytes.empty() && bytes.back() != '\0' && needed < size) {
        data[needed] = 0;
    }
    size = needed;
    return kErrorSuccess;
}

RegResult WinePrefixRegistry::CloseKey(RegKey key) {
    if (IsPredefinedRoot(key)) {
        return kErrorSuccess;
    }
    return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace kolvane::platform
