#include "platform/posix/prefix_search.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// What follows the '[' of a key line at or below the host's keys, with the case folded and the
// backslashes doubled as Wine writes them.
constexpr std::string_view kHostKeyLine = "software\\\\classes\\\\software\\\\tessaline\\\\";
constexpr std::u16string_view kHostBranch = kHostMakerKeyInMachine;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Compared from the end: most key lines share the needle's start (Software\Classes) and differ
// at its end.
bool StartsWithFolded(std::string_view text, std::string_view folded) {
    if (text.size() < folded.size()) {
        return false;
    }
    for (std::size_t i = folded.size(); i-- > 0;) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != folded[i]) {
            return false;
        }
    }
    return true;
}

// Gathers, from whole lines of a registry file handed over in pieces, the first line and the
// blocks of the key lines below the host's keys (each up to the next key line), so that the
// registry reader has only those to read. A key line is one whose first character after blanks
// is '['; finding the '[' is a byte search, and only key lines are compared.
class HostKeyScan {
  public:
    // `lines`: one or more lines, each with its line end except perhaps at the end of the file.
    void Feed(std::string_view lines) {
        if (lines.empty()) {
            return;
        }
        if (!headerSeen_) {
            const std::size_t end = lines.find('\n');
            const std::size_t length = end == std::string_view::npos ? lines.size() : end + 1;
            selected_.append(lines.substr(0, length));
            lines.remove_prefix(length);
            headerSeen_ = true;
        }
        std::size_t pos = 0;
        std::size_t searchFrom = 0;
        for (;;) {
            const std::size_t bracket = NextKeyBracket(lines, searchFrom);
            std::size_t lineStart = bracket == std::string_view::npos ? lines.size() : bracket;
            while (lineStart > 0 && IsBlank(lines[lineStart - 1])) {
                --lineStart;
            }
            if (inBlock_) {
                selected_.append(lines.substr(pos, lineStart - pos));
            }
            if (bracket == std::string_view::npos) {
                return;
            }
            inBlock_ = StartsWithFolded(lines.substr(bracket + 1), kHostKeyLine);
            found_ = found_ || inBlock_;
            pos = lineStart;
            searchFrom = bracket + 1;
        }
    }

    bool NamesHost() const {
        if (!found_) {
            return false;
        }
        RegistryNode root;
        return MergeWineRegistryText(selected_, kHostBranch, root) &&
               (root.Subkey(u"HMDX") != nullptr || root.Subkey(u"QZ") != nullptr);
    }

  private:
    // The next '[' from `from` that only blanks separate from the start of its line; `lines`
    // starts at a line start.
    static std::size_t NextKeyBracket(std::string_view lines, std::size_t from) {
        for (std::size_t at = lines.find('[', from); at != std::string_view::npos;
             at = lines.find('[', at + 1)) {
            std::size_t before = at;
            while (before > 0 && IsBlank(lines[before - 1])) {
                --before;
            }
            if (before == 0 || lines[before - 1] == '\n') {
                return at;
            }
        }
        return std::string_view::npos;
    }

    bool headerSeen_ = false;
    bool inBlock_ = false;
    bool found_ = false;
    std::string selected_;
};

// Feeds a regular file to the scan in pieces of whole lines. False when it cannot be read; a
// FIFO or device in the file's place is not opened for reading, so it cannot hold the search up.
bool ScanFile(const std::string& path, HostKeyScan& scan) {
    const UniqueFd file(
        RetryOnSignal([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    std::string buffer(std::size_t{1} << 20, '\0');
    std::size_t kept = 0;  // the start of a line that the last read did not end
    for (;;) {
        if (kept == buffer.size()) {
            buffer.resize(buffer.size() * 2);
        }
        const ssize_t got = RetryOnSignal(
            [&] { return ::read(file.Get(), buffer.data() + kept, buffer.size() - kept); });
        if (got < 0) {
            return false;
        }
        const std::string_view filled(buffer.data(), kept + static_cast<std::size_t>(got));
        if (got == 0) {
            scan.Feed(filled);
            return true;
        }
        const std::size_t lastLineEnd = filled.rfind('\n');
        const std::size_t whole = lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1;
        scan.Feed(filled.substr(0, whole));
        kept = filled.size() - whole;
        std::memmove(buffer.data(), buffer.data() + whole, kept);
    }
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
    scan.Feed(text);
    return scan.NamesHost();
}

bool PrefixNamesHost(const std::string& directory) {
    for (const char* name : {"/system.reg", "/user.reg"}) {
        HostKeyScan scan;
        if (ScanFile(directory + name, scan) && scan.NamesHost()) {
            return true;
        }
    }
    return false;
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

    std::vector<fs::path> libraries = {base / ".steam/steam", base / ".local/share/Steam"};
    for (std::size_t i = 0, defaults = libraries.size(); i < defaults; ++i) {
        const std::string vdf = ReadSmallFile(libraries[i] / "steamapps/libraryfolders.vdf");
        for (const fs::path& library : SteamLibraries(vdf)) {
            if (std::find(libraries.begin(), libraries.end(), library) == libraries.end()) {
                libraries.push_back(library);
            }
        }
    }
    for (const fs::path& library : libraries) {
        each(library / "steamapps/compatdata", "pfx");
    }

    for (const std::string& prefix : candidates.Prefixes()) {
        if (PrefixNamesHost(prefix)) {
            search.prefixes.push_back(prefix);
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
