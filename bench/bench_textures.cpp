// Texture catalogue benchmark: what registering textures costs against plainly reading and
// writing the same catalogue file, in the same run.
//
//   bench_textures [directory]   (default: $TMPDIR or /tmp)

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "platform/posix/posix_files.h"
#include "textures/catalog_text.h"
#include "textures/texture_catalog.h"
#include "textures/texture_entry.h"

namespace {

using kolvane::TextureCatalog;
using kolvane::bench::Median;
using kolvane::bench::Row;
using kolvane::platform::PosixFiles;

constexpr const char* kProgram = "bench_textures";

void Fail(const char* what) {
    kolvane::bench::Fail(kProgram, what);
}

std::string Entry(const std::string& id, int n) {
    char name[32];
    std::snprintf(name, sizeof name, "%06d", n);
    return std::string("Textur{\tname(Gleis_") + name + ")\tid(" + id + ")\tbild(gleis" + name +
           ".bmp)\tgroesse(256,256)\t}\r\n\t\t";
}

std::string ScriptDefinition(int id) {
    return kolvane::catalog::LayOutDefinition("Textur{name(Neu_" + std::to_string(id) + ")id(" +
                                              std::to_string(id) + ")bild(neu.bmp)}");
}

struct Bench {
    PosixFiles& files;
    std::string windowsPath;  // the catalogue as the core names it
    std::string bytes;        // its original contents

    void Restore() {
        if (!files.ReplaceContents(windowsPath, bytes)) {
            Fail("cannot write the catalogue");
        }
    }

    // A plain read and write of the file: the floor for anything that rewrites it.
    double PlainReadWrite() {
        return Median([this] { Restore(); },
                      [this] {
                          std::string contents;
                          if (!files.ReadContents(windowsPath, contents) ||
                              !files.ReplaceContents(windowsPath, contents)) {
                              Fail("plain read and write failed");
                          }
                      });
    }

    // Load, the additions, write-back: what one texture section does.
    double Section(const std::vector<int>& ids) {
        return Median([this] { Restore(); },
                      [&] {
                          TextureCatalog catalog(files, windowsPath);
                          if (!catalog.IsLoaded()) {
                              Fail("the catalogue did not load");
                          }
                          for (int id : ids) {
                              catalog.AddTexture(id, ScriptDefinition(id));
                          }
                          if (!catalog.WriteBack()) {
                              Fail("the write-back failed");
                          }
                      });
    }
};

// A catalogue of `entries` entries with the identifiers 2, 4, ..., and `additions` random
// identifiers up to twice that: about half replace an entry, half are new.
struct Shape {
    std::string bytes;
    std::vector<int> ids;
};

Shape MakeShape(int entries, int additions, unsigned seed) {
    Shape shape;
    for (int i = 1; i <= entries; ++i) {
        shape.bytes += Entry(std::to_string(2 * i), i);
    }
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> anyId(1, 2 * entries);
    shape.ids.resize(additions);
    std::generate(shape.ids.begin(), shape.ids.end(), [&] { return anyId(random); });
    return shape;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    folder += "/kolvane-bench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        Fail("cannot create a working directory");
    }
    kolvane::platform::DriveMap drives;
    drives.Assign('z', "/");
    PosixFiles files(drives);
    const std::string windowsFolder = kolvane::bench::DriveZ(folder);

    std::printf("Texture catalogue benchmark (median of %d runs)\n\n",
                kolvane::bench::kRepetitions);

    // 1. 1,000 additions to 50,000 entries.
    Shape shape = MakeShape(50'000, 1'000, 12345);
    Bench large{files, windowsFolder + "\\Texturen.txt", std::move(shape.bytes)};
    const double plain = large.PlainReadWrite();
    const double section = large.Section(shape.ids);
    std::printf("50,000 entries, %.1f MB; 1,000 additions with random identifiers\n",
                static_cast<double>(large.bytes.size()) / 1e6);
    Row("plain read + write of the file (baseline)", plain, plain);
    Row("load + 1,000 additions + write-back (target 20 x)", section, plain);

    // 2. n additions to n entries: the cost of an addition as the catalogue and the package grow.
    std::printf(
        "\nn entries and n additions with random identifiers (target: n = 40,000 in 1 s)\n");
    for (int n : {10'000, 20'000, 40'000}) {
        Shape grown = MakeShape(n, n, 777 + n);
        Bench bench{files, windowsFolder + "\\Texturen" + std::to_string(n) + ".txt",
                    std::move(grown.bytes)};
        const double base = bench.PlainReadWrite();
        const double whole = bench.Section(grown.ids);
        std::printf(
            "  n = %6d (%.1f MB): plain read + write %6.2f ms; load + n additions + "
            "write-back %6.3f s = %6.1f x, %5.2f us an addition\n",
            n, static_cast<double>(bench.bytes.size()) / 1e6, base * 1e3, whole, whole / base,
            whole / n * 1e6);
    }

    // 3. Identifier 2147483647 into 5 MB that hold no lower identifier: a step-down from the
    //    identifier would search the text 2,147,483,646 times.
    Bench top{files, windowsFolder + "\\Texturen5.txt", {}};
    for (int i = 1; top.bytes.size() < 5'000'000; ++i) {
        top.bytes += Entry(std::to_string(-i), i);
    }
    const double topPlain = top.PlainReadWrite();
    const double topSection = top.Section({2147483647});
    const std::string text = kolvane::catalog::CanonicalLayout(top.bytes);
    // One search of the whole text for a key that is not there, as each step would do.
    const double oneStep = Median([&] {
        volatile std::size_t at = text.find("id(2147483646)");
        (void)at;
    });
    std::printf("\n%.1f MB with no identifier below 2147483647; one addition of it\n",
                static_cast<double>(top.bytes.size()) / 1e6);
    Row("plain read + write of the file (baseline)", topPlain, topPlain);
    Row("load + addition + write-back", topSection, topPlain);
    std::printf("  %-48s %10.2f ms; x 2147483646 steps = %.1f hours\n",
                "one step of a step-down (search for an absent key)", oneStep * 1e3,
                oneStep * 2147483646.0 / 3600.0);

    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return 0;
}
