// Arbitrary bytes as an install script: both sections are searched and read to their end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

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

// The outline's names are the non-empty ones the search reads, each from a span of the script
// that starts and ends with one of its characters.
void ReadOutline(kolvane::ScriptReader& reader, std::size_t scriptSize) {
    kolvane::ScriptOutline outline;
    if (!reader.ReadOutline(outline) || reader.Text().size() != scriptSize) {
        std::abort();
    }
    const std::string_view text = reader.Text();
    for (const kolvane::ScriptName& name : outline.names) {
        if (name.text.empty() || name.begin >= name.end || name.end > scriptSize ||
            text[name.begin] != name.text.front() || text[name.end - 1] != name.text.back()) {
            std::abort();
        }
    }
    if (outline.unclosedBlock != std::string::npos &&
        (outline.unclosedBlock >= scriptSize || text[outline.unclosedBlock] != '{')) {
        std::abort();
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
    ReadOutline(reader, size);
    return 0;
}
