// The Wine benchmark's prompt driver: starts programs, plays their user, and tells how long each
// ran from launch to exit, measured inside Wine, so that neither the shell nor Wine's start of
// the driver counts. It stays for the whole benchmark: one command a line on standard input,
// fields separated by tabs, one answer a line, "ok MILLISECONDS EXIT_CODE SHOWN" or "error TEXT",
// where SHOWN is the time until the main dialog was found (0 without one).
//
//   dialog PROGRAM.exe [ARGUMENT...]   finds the program's main dialog (the one with the progress
//                                      bar), presses Install, answers the closing message with OK
//   silent PROGRAM.exe [ARGUMENT...]   only waits for the program to end
//   bare                               a copy of the driver that ends at once (--exit)
//   requests FILE                      what the calls no copy under Wine does without cost:
//                                      answers "ok US_REQUEST US_OPEN_CLOSE", the microseconds
//                                      of asking an open file's path (one request to the Wine
//                                      server) and of opening and closing FILE (two)
//   quit
//
// It looks for the windows every 2 ms and never sleeps for a fixed time; every wait has a limit,
// after which the program is ended and the answer is an error.
#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/windows_support.h"
#include "remote_window.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kPollMs = 2;
constexpr auto kLimit = std::chrono::seconds(120);
constexpr int kProgressBarId = 1000;  // only the main dialog has it
constexpr int kBoxTextId = 0xFFFF;    // the text of a message box
constexpr const char* kBareArgument = "--exit";

struct ProcessTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return ::CloseHandle(handle) != 0; }
};
using ScopedProcessHandle = kolvane::win32::ScopedHandle<ProcessTraits>;

// A visible top-level window of the thread `threadId` that has the control `id` and not the
// control `withoutId` (0: any), or null.
HWND WindowWith(DWORD threadId, int id, int withoutId = 0) {
    for (const HWND window : kolvane::remote::VisibleTopLevelWindows(threadId)) {
        if (::GetDlgItem(window, id) != nullptr &&
            (withoutId == 0 || ::GetDlgItem(window, withoutId) == nullptr)) {
            return window;
        }
    }
    return nullptr;
}

// Looks for a window every few milliseconds until `find` returns one; null when the process
// ended first or the limit passed.
HWND Poll(HANDLE process, const std::function<HWND()>& find) {
    const auto deadline = Clock::now() + kLimit;
    for (;;) {
        if (const HWND window = find(); window != nullptr) {
            return window;
        }
        // Waiting on the process is the pause between looks: it ends early when the process does.
        if (::WaitForSingleObject(process, kPollMs) != WAIT_TIMEOUT || Clock::now() > deadline) {
            return nullptr;
        }
    }
}

// Quotes only where a space needs it: an NSIS installer takes "/D=" only unquoted.
std::string Quoted(const std::string& argument) {
    return argument.empty() || argument.find_first_of(" \t") != std::string::npos
               ? "\"" + argument + "\""
               : argument;
}

std::string SelfPath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// Presses Install in the main dialog and OK in the closing message, both windows of the
// program's main thread; sets `shown` to when the dialog was found. The error, if any.
std::optional<std::string> PlayUser(HANDLE process, DWORD threadId, Clock::time_point& shown) {
    const HWND dialog = Poll(process, [&] { return WindowWith(threadId, kProgressBarId); });
    shown = Clock::now();
    if (dialog == nullptr || !kolvane::remote::Click(dialog, IDOK)) {
        return "no main dialog";
    }
    const HWND box =
        Poll(process, [&] { return WindowWith(threadId, kBoxTextId, kProgressBarId); });
    if (box == nullptr) {
        return "no closing message";
    }
    // Only the closing message has a single OK button; a question means the run went otherwise
    // than the benchmark planned.
    if (::GetDlgItem(box, IDYES) != nullptr || !kolvane::remote::Click(box, IDOK)) {
        return "unexpected message: " + kolvane::remote::Text(::GetDlgItem(box, kBoxTextId));
    }
    return std::nullopt;
}

// Runs one command line and answers with its time and exit code.
std::string Run(const std::string& mode, std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const Clock::time_point launch = Clock::now();
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
        return "error cannot start " + commandLine + " (error " + std::to_string(::GetLastError()) +
               ")";
    }
    const ScopedProcessHandle process(started.hProcess);
    const ScopedProcessHandle thread(started.hThread);

    std::optional<std::string> error;
    Clock::time_point shown = launch;
    if (mode == "dialog") {
        error = PlayUser(process.Get(), started.dwThreadId, shown);
    }
    const auto limitMs = static_cast<DWORD>(kLimit / std::chrono::milliseconds(1));
    if (!error && ::WaitForSingleObject(process.Get(), limitMs) != WAIT_OBJECT_0) {
        error = "the program did not end";
    }
    const Clock::time_point exit = Clock::now();
    if (error) {
        ::TerminateProcess(process.Get(), 1);
        return "error " + *error;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    const auto ms = [&](Clock::time_point until) {
        return std::chrono::duration<double, std::milli>(until - launch).count();
    };
    char answer[80];
    std::snprintf(answer, sizeof answer, "ok %.3f %lu %.3f", ms(exit),
                  static_cast<unsigned long>(code), ms(shown));
    return answer;
}

std::string Requests(const std::string& path) {
    constexpr int kCount = 2000;
    const auto open = [&] {
        return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE file = open();
    if (file == INVALID_HANDLE_VALUE) {
        return "error cannot open " + path;
    }
    wchar_t name[MAX_PATH + 1];
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kCount; ++i) {
        ::GetFinalPathNameByHandleW(file, name, MAX_PATH + 1, 0);
    }
    const Clock::time_point asked = Clock::now();
    ::CloseHandle(file);
    for (int i = 0; i < kCount; ++i) {
        const HANDLE again = open();
        if (again == INVALID_HANDLE_VALUE) {
            return "error cannot open " + path;
        }
        ::CloseHandle(again);
    }
    const Clock::time_point opened = Clock::now();
    const auto us = [&](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::micro>(to - from).count() / kCount;
    };
    char answer[80];
    std::snprintf(answer, sizeof answer, "ok %.1f %.1f", us(start, asked), us(asked, opened));
    return answer;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::string Execute(const std::string& line) {
    const std::vector<std::string> fields = Fields(line);
    const std::string& mode = fields[0];
    if (mode == "bare" && fields.size() == 1) {
        return Run(mode, Quoted(SelfPath()) + " " + kBareArgument);
    }
    if (mode == "requests" && fields.size() == 2) {
        return Requests(fields[1]);
    }
    if ((mode == "dialog" || mode == "silent") && fields.size() > 1) {
        std::string commandLine = Quoted(fields[1]);
        for (std::size_t i = 2; i < fields.size(); ++i) {
            commandLine += " " + Quoted(fields[i]);
        }
        return Run(mode, commandLine);
    }
    return "error unknown command " + line;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kBareArgument) {
        return 0;
    }
    // Plain line feeds on the pipe, not CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line == "quit") {
            break;
        }
        std::printf("%s\n", Execute(line).c_str());
        std::fflush(stdout);
    }
    return 0;
}
