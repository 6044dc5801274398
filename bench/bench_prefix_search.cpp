// Prefix search benchmark: how long deciding whether a 40 MB registry file names the host takes,
// against plainly reading the same file, and against parsing the whole file as the registry does.
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
// each; `hostKey`, when given, is the last key.
std::string Registry(const std::string& hostKey) {
    std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
    char key[160];
    for (unsigned n = 0; text.size() < kSize; ++n) {
        std::snprintf(key, sizeof key,
                      "\n[Software\\\\Classes\\\\CLSID\\\\{%08X-0000-0000-C000-000000000046}"
                      "\\\\InprocServer32] 1700000000\n",
                      n);
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
void PlainRead(const fs::path& file) {
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
    if (total < kSize) {
        kolvane::bench::Fail(kProgram, "the file was not read whole");
    }
}

void Expect(bool value, bool expected, const char* what) {
    if (value != expected) {
        kolvane::bench::Fail(kProgram, what);
    }
}

}  // namespace

int main(int argc, char** argv) {
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

    std::printf("Prefix search: one system.reg of %zu MB, %s (median of %d)\n", kSize >> 20,
                "the host's key last if at all", kolvane::bench::kRepetitions);
    Row("plain read of the file (baseline)", plain, plain);
    Row("search, the host's key absent", ruledOut, plain);
    Row("search, the host's key present", found, plain);
    Row("whole file read by the registry reader (median of 3)", parsed, plain);
    fs::remove_all(base);
    return 0;
}
