// Arbitrary catalogue text, then additions and removals decoded from the rest of the input, then
// the write-back and a reload: the reload must give back exactly the text that was saved, and a
// second save the same bytes. Insert positions of small identifiers are checked against the
// plain step-down from the identifier.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "memory_files.h"
#include "textures/catalog_text.h"
#include "textures/texture_catalog.h"

namespace {

using kolvane::catalog::Position;

// One search per identifier below `identifier`, down to 1, as the placement is defined.
Position SteppedInsertPosition(const std::string& text, int identifier) {
    for (int k = identifier - 1; k >= 1; --k) {
        const Position key = text.find(kolvane::catalog::IdentifierKey(k));
        if (key == std::string::npos) {
            continue;
        }
        const Position brace = text.rfind('{', key);
        if (brace == std::string::npos) {
            return 0;
        }
        const Position end = kolvane::catalog::FindBlockEnd(text, brace);
        if (end != kolvane::catalog::kNone) {
            return end + 1;
        }
        break;  // an unclosed block around the lower key counts as no such key
    }
    const Position first = text.find('{');
    return first == std::string::npos ? 0 : first + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    kolvane::fuzz::MemoryFiles files;
    const std::string path = "C:\\Res\\Rezazerad\\Texturen.txt";
    files.files[path] = input.ConsumeRandomLengthString(4096);

    kolvane::TextureCatalog catalog(files, path);
    if (!catalog.IsLoaded()) {
        std::abort();
    }
    while (input.remaining_bytes() > 0) {
        const bool small = input.ConsumeBool();
        const int identifier =
            small ? input.ConsumeIntegralInRange(-3, 40) : input.ConsumeIntegral<int>();
        if (small && identifier <= 40 &&
            catalog.FindInsertPosition(identifier) !=
                SteppedInsertPosition(catalog.Text(), identifier)) {
            std::abort();
        }
        if (input.ConsumeBool()) {
            catalog.RemoveTexture(identifier);
        } else {
            catalog.AddTexture(identifier, input.ConsumeRandomLengthString(256));
        }
        const Position end = catalog.FindBlockEnd(input.ConsumeIntegral<std::uint16_t>());
        if (end != kolvane::catalog::kNone &&
            (end >= catalog.Text().size() || catalog.Text()[end] != '}')) {
            std::abort();
        }
    }
    if (!catalog.WriteBack()) {
        std::abort();
    }
    const std::string saved = files.files[path];
    kolvane::TextureCatalog reloaded(files, path);
    if (!reloaded.IsLoaded() || reloaded.Text() != catalog.Text() || !reloaded.WriteBack() ||
        files.files[path] != saved) {
        std::abort();
    }
    return 0;
}
