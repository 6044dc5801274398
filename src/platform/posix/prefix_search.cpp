#include "platform/posix/prefix_search.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/host_key.h"
#include "platform/posix/retry_on_signal.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/wine_registry.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;

// The start of a key line at or below one of the host's keys, with the case folded and the
// backslashes doubled as Wine writes them; the product's name follows, then a backslash or ']'.
constexpr std::string_view kVendorKeyLine = "[software\\\\classes\\\\software\\\\tessaline\\\\";
constexpr std::string_view kProducts[] = {"hmdx", "qz"};
constexpr std::size_t kLongestProduct = 4;
constexpr std::u16string_view kHostBranch = kHostMakerKeyInMachine;

// The folded spellings above are those of the host's key (host_key.h).
constexpr bool SpellsHostKey() {
    const auto folded = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            const char c = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
            if (c != b[i]) {
                return false;
            }
        }
        return true;
    };
    std::size_t longest = 0;
    for (std::size_t i = 0; i < std::size(kProducts); ++i) {
        if (!folded(kHostProducts[i], kProducts[i])) {
            return false;
        }
        longest = std::max(longest, kProducts[i].size());
    }
    std::string_view line = kVendorKeyLine.substr(1);
    for (const char* name : {"Software", "Classes", kHostMakerKeys[0], kHostMakerKeys[1]}) {
        const std::string_view part(name);
        if (!folded(part, line.substr(0, part.size())) || line.substr(part.size(), 2) != "\\\\") {
            return false;
        }
        line.remove_prefix(part.size() + 2);
    }
    return std::size(kProducts) == std::size(kHostProducts) && longest == kLongestProduct &&
           line.empty();
}
static_assert(SpellsHostKey(), "the scan looks for the host's own key");

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Compared from the end: most key lines share the start (Software\\Classes) and differ at the end.
bool EqualsFolded(std::string_view text, std::string_view folded) {
    for (std::size_t i = folded.size(); i-- > 0;) {
        if (Folded(text[i]) != folded[i]) {
            return false;
        }
    }
    return true;
}

// Reads a registry file handed over in pieces of any size, byte by byte through its key lines
// and with a search for the next line end through everything else: a value line is never held,
// only the first line and a key line at or below the host's keys, whose text the registry reader
// then confirms. Cost is linear in the bytes fed, memory bounded by the longest line.
class HostKeyScan {
  public:
    enum class Result { kReading, kNamesHost, kLineTooLong };

    Result Feed(std::string_view bytes) {
        for (std::size_t pos = 0; pos < bytes.size() && result_ == Result::kReading;) {
            if (state_ == State::kSkipping) {
                pos = Skip(bytes, pos);
                continue;
            }
            // Right after a key line's '[', the vendor's part of the host's key lines at once.
            const std::string_view vendor = kVendorKeyLine.substr(1);
            if (state_ == State::kVendorKey && key_.size() == 1 &&
                bytes.size() - pos >= vendor.size()) {
                const std::string_view next = bytes.substr(pos, vendor.size());
                if (!EqualsFolded(next, vendor)) {
                    state_ = State::kSkipping;
                    continue;
                }
                key_ += next;
                Count(next.size());
                pos += next.size();
                continue;
            }
            const char c = bytes[pos++];
            Count(1);
            if (c == '\n') {
                EndLine();
            } else {
                Take(c);
            }
        }
        return result_;
    }

    // At the end of the file: a last line without its line end counts as well.
    Result Finish() {
        if (result_ == Result::kReading && state_ != State::kSkipping) {
            EndLine();
        }
        return result_;
    }

  private:
    // kHeader: the first line, kept. kLineStart: blanks so far. kVendorKey: a key line that
    // still matches the host's keys, kept. kSkipping: a line of no interest, up to its end.
    enum class State { kHeader, kLineStart, kVendorKey, kSkipping };

    // From `pos` in a line of no interest on to the next '[' that only blanks separate from the
    // start of its line, or to the end of `bytes`: a byte search for '[', and one backwards for
    // the last line end before it. Returns where to go on.
    std::size_t Skip(std::string_view bytes, std::size_t pos) {
        const std::size_t bracket = bytes.find('[', pos);
        const std::size_t stop = bracket == std::string_view::npos ? bytes.size() : bracket;
        const auto* lineEnd =
            static_cast<const char*>(::memrchr(bytes.data() + pos, '\n', stop - pos));
        std::size_t lineStart = stop;
        if (lineEnd == nullptr) {
            Count(stop - pos);
        } else {
            // The line being skipped ends at the first line end; the lines after it up to the
            // last one can be too long only when together they are.
            const std::size_t firstEnd = bytes.find('\n', pos);
            lineStart = static_cast<std::size_t>(lineEnd - bytes.data()) + 1;
            Count(firstEnd - pos);
            if (lineStart - firstEnd > kLongestRegistryLine) {
                CountWholeLines(bytes.substr(firstEnd + 1, lineStart - firstEnd - 1));
            }
            lineLength_ = 0;
            Count(stop - lineStart);
            key_.clear();
            state_ = State::kLineStart;  // until a byte other than a blank is seen
            for (std::size_t i = lineStart; i < stop; ++i) {
                if (!IsBlank(bytes[i])) {
                    state_ = State::kSkipping;
                    break;
                }
            }
        }
        if (bracket == std::string_view::npos || state_ == State::kLineStart) {
            return stop;  // at the end, or at a '[' that starts a key line
        }
        Count(1);
        return bracket + 1;
    }

    // Lines each with its line end.
    void CountWholeLines(std::string_view lines) {
        for (std::size_t at = 0; at < lines.size();) {
            const std::size_t end = lines.find('\n', at);
            lineLength_ = 0;
            Count(end - at);
            at = end + 1;
        }
    }

    void Count(std::size_t bytes) {
        lineLength_ += bytes;
        if (lineLength_ > kLongestRegistryLine) {
            result_ = Result::kLineTooLong;
        }
    }

    void Take(char c) {
        switch (state_) {
            case State::kHeader:
                header_ += c;
                return;
            case State::kLineStart:
                if (c == '[') {
                    key_ = "[";
                    productRead_ = false;
                    state_ = State::kVendorKey;
                } else if (!IsBlank(c)) {
                    state_ = State::kSkipping;
                }
                return;
            case State::kVendorKey:
                key_ += c;
                if (!productRead_ && !StillTheHostsKey()) {
                    state_ = State::kSkipping;
                }
                return;
            case State::kSkipping:
                return;
        }
    }

    // Whether the key line read so far may still be one of the host's keys or below one; notes
    // when the product's name has been read to its end (a backslash or ']' after it).
    bool StillTheHostsKey() {
        const std::size_t at = key_.size() - 1;
        if (at < kVendorKeyLine.size()) {
            return Folded(key_[at]) == kVendorKeyLine[at];
        }
        const std::string_view product =
            std::string_view(key_).substr(kVendorKeyLine.size(), at - kVendorKeyLine.size());
        if (key_[at] != '\\' && key_[at] != ']') {
            return product.size() < kLongestProduct;
        }
        std::string folded;
        for (const char p : product) {
            folded += Folded(p);
        }
        productRead_ =
            std::find(std::begin(kProducts), std::end(kProducts), folded) != std::end(kProducts);
        return productRead_;
    }

    void EndLine() {
        if (state_ == State::kVendorKey && productRead_ &&
            MergeWineRegistryText(header_ + "\n" + key_ + "\n", kHostBranch, root_) &&
            (root_.Subkey(u"HMDX") != nullptr || root_.Subkey(u"QZ") != nullptr)) {
            result_ = Result::kNamesHost;
        }
        key_.clear();
        productRead_ = false;
        lineLength_ = 0;
        state_ = State::kLineStart;
    }

    State state_ = State::kHeader;
    Result result_ = Result::kReading;
    std::size_t lineLength_ = 0;
    std::string header_;
    std::string key_;
    bool productRead_ = false;
    RegistryNode root_;
};

enum class FileScan { kNamesHost, kNoHost, kPassedOver };

// Feeds a regular file to the scan in pieces. No host when it cannot be read; a FIFO or device
// in the file's place is not opened for reading, so it cannot hold the search up. Passed over
// when it is larger than any registry or holds a line longer than any registry line.
FileScan ScanFile(const std::string& path) {
    const UniqueFd file(
        RetryOnSignal([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return FileScan::kNoHost;
    }
    if (static_cast<std::uint64_t>(status.st_size) > kLargestRegistryFile) {
        return FileScan::kPassedOver;
    }
    HostKeyScan scan;
    std::string buffer(std::size_t{1} << 20, '\0');
    HostKeyScan::Result result = HostKeyScan::Result::kReading;
    for (std::uint64_t total = 0; result == HostKeyScan::Result::kReading;) {
        const ssize_t got =
            RetryOnSignal([&] { return ::read(file.Get(), buffer.data(), buffer.size()); });
        if (got < 0) {
            return FileScan::kNoHost;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > kLargestRegistryFile) {
            return FileScan::kPassedOver;  // grown while it was read
        }
        result = got == 0
                     ? scan.Finish()
                     : scan.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (got == 0) {
            break;
        }
    }
    switch (result) {
        case HostKeyScan::Result::kNamesHost:
            return FileScan::kNamesHost;
        case HostKeyScan::Result::kLineTooLong:
            return FileScan::kPassedOver;
        case HostKeyScan::Result::kReading:
            break;
    }
    return FileScan::kNoHost;
}

// A small text file whole; empty when it is no regular file or cannot be read.
std::string ReadSmallFile(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > (1u << 20) || error) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The prefixes a Lutris game file names: the "prefix:" entries directly below "game:".
std::vector<fs::path> LutrisPrefixes(std::string_view yaml, const fs::path& home) {
    std::vector<fs::path> prefixes;
    bool inGame = false;
    std::size_t childIndent = 0;  // the indentation of the entries below "game:"; 0 until known
    for (const std::string_view line : Lines(yaml)) {
        const std::string_view content = Trim(line);
        if (content.empty() || content.front() == '#') {
            continue;
        }
        const std::size_t indent = line.find(content.front());
        if (indent == 0) {
            inGame = content == "game:";
            childIndent = 0;
            continue;
        }
        if (!inGame || (childIndent != 0 && indent != childIndent)) {
            continue;
        }
        childIndent = indent;
        if (!content.starts_with("prefix:")) {
            continue;
        }
        std::string_view value = Trim(content.substr(7));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (value.starts_with("~/")) {
            prefixes.push_back(home / value.substr(2));
        } else if (value.starts_with('/')) {
            prefixes.emplace_back(value);
        }
    }
    return prefixes;
}

// The library folders a Steam libraryfolders.vdf lists: the "path" of each library, and the
// numbered entries that older Steam versions wrote ("1" "/mnt/games").
std::vector<fs::path> SteamLibraries(std::string_view vdf) {
    struct Token {
        bool brace;
        std::string text;
    };
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < vdf.size(); ++i) {
        if (vdf[i] == '{' || vdf[i] == '}') {
            tokens.push_back({true, std::string(1, vdf[i])});
        } else if (vdf[i] == '"') {
            std::string text;
            for (++i; i < vdf.size() && vdf[i] != '"'; ++i) {
                if (vdf[i] == '\\' && i + 1 < vdf.size()) {
                    ++i;
                }
                text += vdf[i];
            }
            tokens.push_back({false, std::move(text)});
        }
    }
    std::vector<fs::path> libraries;
    for (std::size_t i = 0; i + 1 < tokens.size();) {
        const Token& key = tokens[i];
        const Token& value = tokens[i + 1];
        if (key.brace || value.brace) {
            ++i;
            continue;
        }
        const bool numbered =
            !key.text.empty() && std::all_of(key.text.begin(), key.text.end(),
                                             [](char c) { return c >= '0' && c <= '9'; });
        if ((key.text == "path" || numbered) && value.text.starts_with('/')) {
            libraries.emplace_back(value.text);
        }
        i += 2;
    }
    return libraries;
}

bool HoldsRegistry(const fs::path& directory) {
    std::error_code error;
    return fs::is_regular_file(directory / "system.reg", error) ||
           fs::is_regular_file(directory / "user.reg", error);
}

// The prefixes found so far, each once however many ways lead to it.
class Candidates {
  public:
    void Add(const fs::path& directory) {
        if (!HoldsRegistry(directory)) {
            return;
        }
        std::error_code error;
        const fs::path real = fs::canonical(directory, error);
        if (seen_.insert(error ? directory.string() : real.string()).second) {
            prefixes_.push_back(directory.lexically_normal().string());
        }
    }

    // Adds `below` in each folder of `folder`, in the order of their names.
    void AddEach(const fs::path& folder, const fs::path& below) {
        std::vector<fs::path> folders;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code kind;
            if (it->is_directory(kind)) {
                folders.push_back(it->path());
            }
        }
        std::sort(folders.begin(), folders.end());
        for (const fs::path& found : folders) {
            Add(below.empty() ? found : found / below);
        }
    }

    const std::vector<std::string>& Prefixes() const { return prefixes_; }

  private:
    std::set<std::string> seen_;
    std::vector<std::string> prefixes_;
};

// Files of `folder` whose names end in `extension`, in the order of their names.
std::vector<fs::path> FilesEndingIn(const fs::path& folder, std::string_view extension) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().ends_with(extension)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

bool RegistryTextNamesHost(std::string_view text) {
    HostKeyScan scan;
    return scan.Feed(text) == HostKeyScan::Result::kNamesHost ||
           scan.Finish() == HostKeyScan::Result::kNamesHost;
}

PrefixRegistry ReadPrefixRegistry(const std::string& directory) {
    for (const char* name : {"/system.reg", "/user.reg"}) {
        switch (ScanFile(directory + name)) {
            case FileScan::kNamesHost:
                return PrefixRegistry::kNamesHost;
            case FileScan::kPassedOver:
                return PrefixRegistry::kPassedOver;
            case FileScan::kNoHost:
                break;
        }
    }
    return PrefixRegistry::kNoHost;
}

bool PrefixNamesHost(const std::string& directory) {
    return ReadPrefixRegistry(directory) == PrefixRegistry::kNamesHost;
}

PrefixSearch SearchPrefixes(const std::string& home) {
    const fs::path base(home);
    PrefixSearch search;
    Candidates candidates;
    const auto each = [&](const fs::path& folder, const fs::path& below = {}) {
        candidates.AddEach(folder, below);
        search.places.push_back((below.empty() ? folder / "*" : folder / "*" / below).string());
    };

    candidates.Add(base / ".wine");
    search.places.push_back((base / ".wine").string());
    each(base / ".local/share/bottles/bottles");
    each(base / ".var/app/com.usebottles.bottles/data/bottles/bottles");
    each(base / "Games");
    for (const char* games : {".config/lutris/games", ".local/share/lutris/games"}) {
        for (const fs::path& file : FilesEndingIn(base / games, ".yml")) {
            for (const fs::path& prefix : LutrisPrefixes(ReadSmallFile(file), base)) {
                candidates.Add(prefix);
            }
        }
        search.places.push_back((base / games / "*.yml").string());
    }
    each(base / ".PlayOnLinux/wineprefix");

    // Each library once, and each library's list of libraries read once: ~/.steam/steam is
    // most often a link to ~/.local/share/Steam.
    std::vector<fs::path> libraries = {base / ".steam/steam", base / ".local/share/Steam"};
    std::set<fs::path> known(libraries.begin(), libraries.end());
    std::set<std::string> listsRead;
    for (std::size_t i = 0, defaults = libraries.size(); i < defaults; ++i) {
        const fs::path list = libraries[i] / "steamapps/libraryfolders.vdf";
        std::error_code error;
        const fs::path real = fs::canonical(list, error);
        if (error || !listsRead.insert(real.string()).second) {
            continue;
        }
        for (const fs::path& library : SteamLibraries(ReadSmallFile(real))) {
            if (known.insert(library).second) {
                libraries.push_back(library);
            }
        }
    }
    for (const fs::path& library : libraries) {
        each(library / "steamapps/compatdata", "pfx");
    }

    for (const std::string& prefix : candidates.Prefixes()) {
        switch (ReadPrefixRegistry(prefix)) {
            case PrefixRegistry::kNamesHost:
                search.prefixes.push_back(prefix);
                break;
            case PrefixRegistry::kPassedOver:
                search.passedOver.push_back(prefix);
                break;
            case PrefixRegistry::kNoHost:
                break;
        }
    }
    return search;
}

std::unique_ptr<Registry> OpenPrefixRegistry(const std::string& directory) {
    if (directory.empty()) {
        return std::make_unique<EmptyRegistry>();
    }
    return std::make_unique<WinePrefixRegistry>(directory);
}

}  // namespace kolvane::platform
