#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace kolvane::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("kolvane-test-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    // Tests leave read-only files and directories behind; make everything removable first.
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path_, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(path_, error);
}

std::string TempDir::HostPath(const std::string& relative) const {
    return relative.empty() ? path_ : path_ + "/" + relative;
}

std::string TempDir::WindowsPath(const std::string& relative) const {
    return ToDriveZ(HostPath(relative));
}

std::string TempDir::Write(const std::string& relative, const std::string& contents,
                           SourceLocation caller) const {
    const CallerTrace trace(caller);
    const fs::path file = HostPath(relative);
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out.flush()) {
        ADD_FAILURE() << "cannot write " << file.string();
    }
    return file.string();
}

std::string TempDir::Read(const std::string& relative) const {
    std::ifstream in(HostPath(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempDir::Exists(const std::string& relative) const {
    std::error_code error;
    return fs::exists(HostPath(relative), error);
}

std::string ToDriveZ(const std::string& hostPath) {
#ifdef _WIN32
    // On Windows a host path is a Windows path already ("C:/Users/..."): only the separators
    // change.
    std::string windows;
#else
    std::string windows = "Z:";
#endif
    for (char c : hostPath) {
        windows += c == '/' ? '\\' : c;
    }
    return windows;
}

}  // namespace kolvane::testing
