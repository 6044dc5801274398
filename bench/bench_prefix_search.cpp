// Prefix search benchmark: how long deciding whether a 40 MB registry file names the host takes,
// against plainly reading the same file, and against parsing the whole file as the registry does;
// the same for 40 MB of keys below the vendor's key; a 1 GiB and a 255 MiB file without line
// feeds, with the peak memory of each; and the whole search with a Steam library list of 1 MB
// and of half that, which shows that its cost grows with the list linearly.
//
//   bench_prefix_search [directory]   (default: $TMPDIR or /tmp)

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bench_util.h"
#include "platform/posix/prefix_search.h"
#include "platform/posix/wine_registry.h"

namespace {

namespace fs = std::filesystem;
using kolvane::bench::Median;
using kolvane::bench::Row;

constexpr const char* kProgram = "bench_prefix_search";
constexpr std::size_t kSize = 40u << 20;

// A system.reg of `kSize` bytes in the shape of a real one: many class keys with a few values
// each, below `branch`; `hostKey`, when given, is the last key.
std::string Registry(const std::string& hostKey,
                     const char* branch = "Software\\\\Classes\\\\CLSID") {
    std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
    char key[160];
    for (unsigned n = 0; text.size() < kSize; ++n) {
        std::snprintf(key, sizeof key,
                      "\n[%s\\\\{%08X-0000-0000-C000-000000000046}"
                      "\\\\InprocServer32] 1700000000\n",
                      branch, n);
        text += key;
        text +=
            "#time=1da1b2c3d4e5f60\n@=\"C:\\\\windows\\\\system32\\\\ole32.dll\"\n"
            "\"ThreadingModel\"=\"Both\"\n"
            "\"Data\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
            "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20\n";
    }
    return text + hostKey;
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out.flush()) {
        kolvane::bench::Fail(kProgram, "cannot write " + file.string());
    }
}

// Reads the file to its end in the pieces the search reads it in, and does nothing with it.
void PlainRead(const fs::path& file, std::size_t size = kSize) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        kolvane::bench::Fail(kProgram, "cannot open " + file.string());
    }
    static std::string buffer(std::size_t{1} << 20, '\0');
    std::size_t total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
        total += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (total < size) {
        kolvane::bench::Fail(kProgram, "the file was not read whole");
    }
}

void Expect(bool value, bool expected, const char* what) {
    if (value != expected) {
        kolvane::bench::Fail(kProgram, what);
    }
}

// What a run of this program with "--once WHAT PATH" does, in a process of its own: a plain read
// of the file PATH, the search of the prefix PATH, or the whole search below the home PATH.
int Once(const std::string& what, const fs::path& path) {
    if (what == "read") {
        PlainRead(path, fs::file_size(path));
    } else if (what == "prefix") {
        kolvane::platform::ReadPrefixRegistry(path.string());
    } else {
        kolvane::platform::SearchPrefixes(path.string());
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            std::printf("%lu\n", std::stoul(line.substr(6)));
        }
    }
    return 0;
}

// The peak memory in MiB of a fresh process of this program that does `what` once, as its
// memory map's high-water mark: the figure of the process alone, which the resource usage a
// parent is given is not (it starts from the parent's at the fork).
double PeakMemory(const char* what, const fs::path& path) {
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --once " +
                                what + " '" + path.string() + "'";
    FILE* child = ::popen(command.c_str(), "r");
    unsigned long kibibytes = 0;
    if (child == nullptr || std::fscanf(child, "%lu", &kibibytes) != 1 || ::pclose(child) != 0) {
        kolvane::bench::Fail(kProgram, "the measured child failed");
    }
    return static_cast<double>(kibibytes) / 1024.0;
}

void RowWithMemory(const std::string& what, double seconds, double baseline, double mebibytes) {
    std::printf("  %-52s %10.2f ms  %8.2f x  %7.1f MiB\n", what.c_str(), seconds * 1e3,
                seconds / baseline, mebibytes);
}

// A file of `size` bytes without a line feed: a sparse file, which costs no disk space.
void WriteWithoutLineFeeds(const fs::path& file, std::uint64_t size) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "WINE REGISTRY Version 2";
    std::error_code error;
    fs::resize_file(file, size, error);
    if (error) {
        kolvane::bench::Fail(kProgram, "cannot make " + file.string());
    }
}

// A home whose Steam library list names `count` libraries, none of which exists, in about
// `count` * 23 bytes; ~/.steam/steam leads to the same Steam as ~/.local/share/Steam.
void WriteSteamHome(const fs::path& home, std::size_t count) {
    std::string vdf = "\"libraryfolders\"\n{\n";
    char entry[64];
    for (std::size_t n = 0; n < count; ++n) {
        std::snprintf(entry, sizeof entry, "\t\"%zu\"\t\"/l/%07zu\"\n", n, n);
        vdf += entry;
    }
    Write(home / ".local/share/Steam/steamapps/libraryfolders.vdf", vdf + "}\n");
    fs::create_directories(home / ".steam");
    fs::create_directory_symlink(home / ".local/share/Steam", home / ".steam/steam");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--once") {
        return Once(argv[2], argv[3]);
    }
    const char* tmp = std::getenv("TMPDIR");
    const fs::path base =
        fs::path(argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp")) / "kolvane-bench-prefixes";
    const fs::path without = base / "without/system.reg";
    const fs::path with = base / "with/system.reg";
    Write(without, Registry(""));
    Write(with, Registry("\n[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1700000000\n"
                         "\"AppPath\"=\"C:\\\\Halmdor\\\\Halmdor.exe\"\n"));

    const double plain = Median([&] { PlainRead(without); });
    const double ruledOut = Median(
        [&] { Expect(kolvane::platform::PrefixNamesHost(without.parent_path()), false, "match"); });
    const double found = Median(
        [&] { Expect(kolvane::platform::PrefixNamesHost(with.parent_path()), true, "no match"); });
    const double parsed = Median(
        [&] {
            std::ifstream in(with, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            kolvane::platform::RegistryNode root;
            Expect(kolvane::platform::MergeWineRegistryText(text, u"Software\\Classes", root), true,
                   "no registry");
        },
        3);

    const fs::path vendor = base / "vendor/system.reg";
    Write(vendor, Registry("", "Software\\\\Classes\\\\Software\\\\Tessaline\\\\Other"));
    const double vendorKeys = Median(
        [&] { Expect(kolvane::platform::PrefixNamesHost(vendor.parent_path()), false, "match"); });

    std::printf("Prefix search: one system.reg of %zu MB, %s (median of %d)\n", kSize >> 20,
                "the host's key last if at all", kolvane::bench::kRepetitions);
    Row("plain read of the file (baseline)", plain, plain);
    Row("search, the host's key absent", ruledOut, plain);
    Row("search, the host's key present", found, plain);
    Row("search, all keys below the vendor's key", vendorKeys, plain);
    Row("whole file read by the registry reader (median of 3)", parsed, plain);
    fs::remove_all(base / "without");
    fs::remove_all(base / "with");
    fs::remove_all(base / "vendor");

    // Files no Wine wrote: no line feed at all.
    for (const std::uint64_t size : {std::uint64_t{1} << 30, std::uint64_t{255} << 20}) {
        const fs::path file = base / "one-line/system.reg";
        WriteWithoutLineFeeds(file, size);
        const double read = Median([&] { PlainRead(file, size); }, 3);
        const double searched = Median([&] {
            Expect(kolvane::platform::ReadPrefixRegistry(file.parent_path()) ==
                       kolvane::platform::PrefixRegistry::kPassedOver,
                   true, "not passed over");
        });
        std::printf("A system.reg of %llu MiB without line feeds (sparse; reads median of 3)\n",
                    static_cast<unsigned long long>(size >> 20));
        RowWithMemory("plain read of the file (baseline)", read, read, PeakMemory("read", file));
        RowWithMemory("search: the prefix is passed over", searched, read,
                      PeakMemory("prefix", file.parent_path()));
        fs::remove_all(file.parent_path());
    }

    // The whole search below a home with a long Steam library list.
    std::printf("The whole search, a Steam library list of N libraries (median of 3)\n");
    double fullList = 0;
    for (const std::size_t count : {std::size_t{46000}, std::size_t{23000}}) {
        const fs::path home = base / ("home-" + std::to_string(count));
        WriteSteamHome(home, count);
        const fs::path vdf = home / ".local/share/Steam/steamapps/libraryfolders.vdf";
        const double read = Median([&] { PlainRead(vdf, fs::file_size(vdf)); }, 3);
        const double searched = Median(
            [&] {
                Expect(kolvane::platform::SearchPrefixes(home.string()).prefixes.empty(), true,
                       "a prefix");
            },
            3);
        fullList = fullList == 0 ? searched : fullList;
        std::printf("  N = %zu, a list of %zu KiB\n", count,
                    static_cast<std::size_t>(fs::file_size(vdf) >> 10));
        RowWithMemory("plain read of the list (baseline)", read, read, PeakMemory("read", vdf));
        RowWithMemory("search", searched, read, PeakMemory("search", home));
        if (count != 46000) {
            std::printf("  the whole list's search against the half's: %.2f x\n",
                        fullList / searched);
        }
    }
    fs::remove_all(base);
    return 0;
}
