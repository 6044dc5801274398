#include "support/install_harness.h"

#include <filesystem>

#include "support/real_files.h"

namespace kolvane::testing {

InstallHarness::InstallHarness()
    : realFiles(MakeRealFiles()), files(*realFiles), platform{registry, files, ui, system} {
    std::filesystem::create_directories(dir.HostPath("pkg"));
    std::filesystem::create_directories(dir.HostPath("host"));
    registry.SetString("Software\\Tessaline\\HMDX", "AppPath", HostDir("Host.exe"));
    registry.SetString("Software\\Tessaline\\HMDX", "ResBase", dir.WindowsPath("res"));
    WriteCatalog("");
    system.moduleFileName = PackagePath("Kolvane.exe");
}

std::string InstallHarness::CatalogPath() const {
    return dir.WindowsPath(kCatalog);
}

std::string InstallHarness::PackagePath(const std::string& relative) const {
    return dir.WindowsPath("pkg") + (relative.empty() ? "" : "\\" + relative);
}

std::string InstallHarness::HostDir(const std::string& relative) const {
    return dir.WindowsPath("host") + "\\" + relative;
}

}  // namespace kolvane::testing
