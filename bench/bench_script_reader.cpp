// Install script reader: both sections of a 20 MB script with 200,000 entries, against a plain
// read of the same file in the same run.
//
//   bench_script_reader [directory]   (default: $TMPDIR or /tmp)

#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_util.h"
#include "platform/posix/posix_files.h"
#include "script/script_reader.h"

namespace {

using kolvane::bench::Fail;
using kolvane::bench::MakeWorkFolder;
using kolvane::bench::Median;

constexpr const char* kProgram = "bench_script_reader";

// 100,000 file entries and 100,000 texture entries, indented and on lines of their own, padded
// with long names to about 20 MB.
std::string MakeScript() {
    std::string script = "Dateinstallation\r\n{\r\n";
    const std::string pad(22, 'x');
    for (int i = 0; i < 100'000; ++i) {
        const std::string name = "Modelle\\Gleis" + std::to_string(i) + "_" + pad + ".dat";
        script += "  { " + name + " >> Halmdor\\" + name + " }\r\n";
    }
    script += "}\r\nTexturskript\r\n{\r\n";
    for (int i = 0; i < 100'000; ++i) {
        const std::string id = std::to_string(i + 1000);
        script += "  { " + id + " >> Textur{ name(Gleis" + id + "_" + pad + ") id(" + id +
                  ") bild(gleis" + id + ".bmp) } }\r\n";
    }
    return script + "}\r\n";
}

std::size_t ReadSection(kolvane::ScriptReader& reader, const char* name) {
    std::size_t entries = 0;
    std::string entry;
    if (reader.FindSection(name)) {
        while (reader.ReadEntry(entry)) {
            ++entries;
        }
    }
    return entries;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = MakeWorkFolder(kProgram, argc > 1 ? argv[1] : nullptr);
    kolvane::platform::DriveMap drives;
    drives.Assign('z', "/");
    kolvane::platform::PosixFiles files(drives);
    const std::string path = kolvane::bench::DriveZ(folder + "/InstSkript.txt");
    const std::string script = MakeScript();
    if (!files.ReplaceContents(path, script)) {
        Fail(kProgram, "cannot write the script");
    }

    const double plain = Median([&] {
        std::string contents;
        if (!files.ReadContents(path, contents) || contents.size() != script.size()) {
            Fail(kProgram, "plain read failed");
        }
    });
    const double sections = Median([&] {
        kolvane::ScriptReader reader(files);
        if (!reader.Open(path) || ReadSection(reader, "Dateinstallation") != 100'000 ||
            ReadSection(reader, "Texturskript") != 100'000) {
            Fail(kProgram, "the script was not read whole");
        }
    });

    const double megabytes = static_cast<double>(script.size()) / 1e6;
    std::printf("Script reader (median of %d runs): %.1f MB, 200,000 entries\n",
                kolvane::bench::kRepetitions, megabytes);
    std::printf("  %-52s %10.2f ms  %8.0f MB/s\n", "plain read of the file (baseline)", plain * 1e3,
                megabytes / plain);
    std::printf("  %-52s %10.2f ms  %8.0f MB/s  %6.2f x\n", "both sections, every entry",
                sections * 1e3, megabytes / sections, sections / plain);

    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return 0;
}
