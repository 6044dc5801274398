// Arbitrary text as an install record: reading never fails other than with an error that names a
// line within the text (or the one after it), and a record that was read is written back into a
// text that reads as the same record and writes as the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "records/install_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolvane::records;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadError error;
    const std::optional<InstallRecord> record = ReadRecord(text, error);
    if (!record) {
        std::size_t lines = 1;
        for (const char c : text) {
            lines += c == '\n' ? 1 : 0;
        }
        if (error.line == 0 || error.line > lines || error.what.empty()) {
            std::abort();
        }
        return 0;
    }
    const std::string written = WriteRecord(*record);
    const std::optional<InstallRecord> again = ReadRecord(written, error);
    if (!again || !(*again == *record) || WriteRecord(*again) != written) {
        std::abort();
    }
    return 0;
}
