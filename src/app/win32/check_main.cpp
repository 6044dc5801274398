// kolvane-check.exe: the package checker as a console program, with the host found in the
// Windows registry as the installer finds it.
#include <io.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "check/check_program.h"
#include "names/windows_path.h"
#include "platform/visible_text.h"
#include "platform/win32/win32_disk_probe.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/windows_support.h"

namespace {

// Text in the system's ANSI code page as UTF-8, the encoding of the report.
std::string AnsiToUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength);
    const int utf8Length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr,
                          nullptr);
    return utf8;
}

// The full path of `folder` without a trailing backslash; none when it is no folder.
std::optional<std::string> PackagePath(const std::string& folder) {
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return std::nullopt;
    }
    const DWORD attributes = ::GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    std::string path(full, length);
    while (!path.empty() && kolvane::names::IsSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

// The console shows the report's UTF-8 while the program runs, and its own code page again after.
class ConsoleUtf8 {
  public:
    ConsoleUtf8() : console_(::_isatty(::_fileno(stdout)) != 0), saved_(::GetConsoleOutputCP()) {
        if (console_) {
            ::SetConsoleOutputCP(CP_UTF8);
        }
    }
    ConsoleUtf8(const ConsoleUtf8&) = delete;
    ConsoleUtf8& operator=(const ConsoleUtf8&) = delete;
    ~ConsoleUtf8() {
        if (console_) {
            ::SetConsoleOutputCP(saved_);
        }
    }

  private:
    bool console_;
    UINT saved_;
};

}  // namespace

int main(int argc, char** argv) {
    const ConsoleUtf8 console;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    kolvane::platform::Win32Files files;
    kolvane::platform::Win32DiskProbe probe;
    kolvane::platform::Win32Registry registry;
    return kolvane::check::RunCheckProgram(
        arguments, std::cout, std::cerr,
        {files, probe, registry, PackagePath, AnsiToUtf8, [](std::string_view argument) {
             return AnsiToUtf8(
                 kolvane::platform::VisibleText(argument, kolvane::platform::LineFeeds::kShown));
         }});
}
