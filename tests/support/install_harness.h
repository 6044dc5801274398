#pragma once

#include <memory>
#include <string>

#include "platform/doubles/fault_injecting_files.h"
#include "platform/doubles/fixed_system.h"
#include "platform/doubles/memory_registry.h"
#include "platform/doubles/scripted_ui.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace kolvane::testing {

// A package folder "pkg" (with the executable pkg\Kolvane.exe), a host folder "host" (with
// AppPath host\Host.exe under HMDX) and the host's resource folder "res" (ResBase under HMDX, with
// an empty texture catalogue res\Rezazerad\Texturen.txt) in a fresh temporary directory, seen
// through drive Z:, with the platform's real files behind fault injection, an in-memory registry
// and a scripted dialog.
class InstallHarness {
  public:
    InstallHarness();

    // Windows-form paths inside the package and the host; "" gives the folder itself.
    std::string PackagePath(const std::string& relative = "") const;
    std::string HostDir(const std::string& relative = "") const;

    void WriteScript(const std::string& text,
                     SourceLocation caller = SourceLocation::current()) const {
        dir.Write("pkg/InstSkript.txt", text, caller);
    }

    // The texture catalogue: its Windows-form path, and its bytes on disk.
    std::string CatalogPath() const;
    void WriteCatalog(const std::string& bytes,
                      SourceLocation caller = SourceLocation::current()) const {
        dir.Write(kCatalog, bytes, caller);
    }
    std::string ReadCatalog() const { return dir.Read(kCatalog); }
    std::string CatalogHostPath() const { return dir.HostPath(kCatalog); }

    static constexpr const char* kCatalog = "res/Rezazerad/Texturen.txt";

    TempDir dir;
    platform::MemoryRegistry registry;
    std::unique_ptr<platform::Files> realFiles;
    platform::FaultInjectingFiles files;
    platform::ScriptedUi ui;
    platform::FixedSystem system;
    platform::Platform platform;
};

}  // namespace kolvane::testing
