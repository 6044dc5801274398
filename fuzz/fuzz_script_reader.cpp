// Arbitrary bytes as an install script: both sections are searched and read to their end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "memory_files.h"
#include "script/script_reader.h"

namespace {

// Reads one section and checks what every entry must be: no whitespace survives the reader.
void ReadSection(kolvane::ScriptReader& reader, const char* name, std::size_t scriptSize) {
    if (!reader.FindSection(name)) {
        return;
    }
    std::string entry;
    std::size_t total = 0;
    while (reader.ReadEntry(entry)) {
        for (char c : entry) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
                std::abort();
            }
        }
        total += entry.size() + 2;
        if (total > scriptSize) {
            std::abort();  // the entries and their braces come from the script, once each
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kolvane::fuzz::MemoryFiles files;
    const std::string path = "C:\\Package\\InstSkript.txt";
    files.files[path] = std::string(reinterpret_cast<const char*>(data), size);
    kolvane::ScriptReader reader(files);
    if (!reader.Open(path)) {
        std::abort();
    }
    ReadSection(reader, "Dateinstallation", size);
    ReadSection(reader, "Texturskript", size);
    ReadSection(reader, "Dateinstallation", size);
    return 0;
}
