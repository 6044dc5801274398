// Arbitrary bytes as the install script of a package, checked with a dry run against a host in
// memory: the checker must not fail, and what it reports must point into the script.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "check/checker.h"
#include "memory_files.h"
#include "names/windows_path.h"
#include "platform/doubles/memory_registry.h"

namespace {

using kolvane::platform::DiskProbe;

// The folders of the host in memory; the files are those of MemoryFiles.
class MemoryProbe : public DiskProbe {
  public:
    explicit MemoryProbe(const kolvane::fuzz::MemoryFiles& files) : files_(files) {}

    Entry Look(const std::string& path) override {
        const std::string key = kolvane::names::PathKey(path);
        for (const char* folder :
             {"C:", "C:\\PACKAGE", "C:\\HOST", "C:\\RES", "C:\\RES\\REZAZERAD"}) {
            if (key == folder) {
                return {Kind::kDirectory, false};
            }
        }
        for (const auto& [name, contents] : files_.files) {
            if (kolvane::names::PathKey(name) == key) {
                return {Kind::kFile, false};
            }
        }
        return {};
    }
    bool HasExactCase(const std::string& path) override { return files_.files.count(path) != 0; }

  private:
    const kolvane::fuzz::MemoryFiles& files_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    kolvane::fuzz::MemoryFiles files;
    files.files["C:\\Package\\InstSkript.txt"] = script;
    files.files["C:\\Package\\a.dat"] = "a";
    files.files["C:\\Res\\Rezazerad\\Texturen.txt"] = "Textur{ id(1) }\r\nTextur{ id(5) }\r\n";
    MemoryProbe probe(files);
    kolvane::platform::MemoryRegistry registry;
    registry.SetString("Software\\Tessaline\\HMDX", "AppPath", "C:\\Host\\Host.exe");
    registry.SetString("Software\\Tessaline\\HMDX", "ResBase", "C:\\Res");

    const kolvane::check::Report report =
        kolvane::check::CheckPackage("C:\\Package", true, false, {files, probe, registry});

    const int lines = static_cast<int>(std::count(script.begin(), script.end(), '\n')) + 1;
    for (const kolvane::check::Finding& finding : report.findings) {
        if (finding.line < 0 || finding.line > lines || finding.code.empty()) {
            std::abort();
        }
    }
    for (const kolvane::check::PlanStep& step : report.plan) {
        if (step.line < 1 || step.line > lines || step.action.empty()) {
            std::abort();
        }
    }
    // The dry run never writes through the real seam.
    if (files.files.size() != 3 || files.files["C:\\Package\\InstSkript.txt"] != script) {
        std::abort();
    }
    const std::string json =
        kolvane::check::FormatJson(report, [](std::string_view text) { return std::string(text); });
    if (std::any_of(json.begin(), json.end() - 1,
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        std::abort();
    }
    return 0;
}
