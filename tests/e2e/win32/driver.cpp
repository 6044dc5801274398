// Drives the Windows program from outside, the way a user would, for the end-to-end suite: finds
// its windows, reads their texts, presses their buttons. It reads one command a line on standard
// input and answers each with one line, "ok ..." or "error ...", so that a shell script can hold a
// conversation with it. Texts come back escaped (\n, \t, \\, \xHH for other control characters
// and for bytes above 126), so every answer stays on one line.
//
// Commands (window handles are decimal; ids are control ids, 0 for the window itself):
//   wait MS ID TITLE     a visible top-level window titled TITLE with a control ID -> ok HWND
//   gone MS HWND         waits until the window is destroyed -> ok
//   text HWND ID         -> ok TEXT
//   texts HWND           the texts of all controls -> ok, then TAB ID=TEXT for each
//   enabled HWND         -> ok 1 or ok 0
//   owner HWND           -> ok HWND (0 for none)
//   buttons HWND         ids of the visible buttons -> ok ID ...
//   focus HWND           id of the control with the keyboard focus -> ok ID
//   progress HWND        the progress bar 1000 -> ok POSITION LOW HIGH
//   list HWND ID         the list view ID: its number of items and the selected one (-1: none)
//                        -> ok COUNT SELECTED
//   rect HWND            -> ok LEFT TOP WIDTH HEIGHT (screen pixels)
//   click HWND ID        presses a button (posted BM_CLICK) -> ok
//   key HWND ID VK       a key press posted to a control -> ok
//   syscommand HWND CMD  a posted WM_SYSCOMMAND -> ok
//   windows              the titles of all visible top-level windows -> ok, then TAB TITLE ...
//   hold SHARE PATH      opens a file for reading and writing with the share mode SHARE and keeps
//                        it open, as another program holds a file -> ok
//   release              closes every file that hold opened -> ok
//   quit
// Every wait has its own time limit; nothing here blocks on the program (messages are posted,
// and reads use SendMessageTimeout).
#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/windows_support.h"
#include "remote_window.h"

namespace {

using kolvane::remote::Control;
using kolvane::remote::Text;
using kolvane::remote::VisibleTopLevelWindows;

constexpr UINT kReadTimeoutMs = 5000;

// The files that "hold" keeps open until "release".
std::list<kolvane::win32::ScopedFileHandle> held;

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte > 0x7E) {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// The inverse of Escape, for titles given on the command line.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        switch (next) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x':
                if (i + 2 < text.size()) {
                    out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                }
                break;
            default:
                out += next;
        }
    }
    return out;
}

HWND ToWindow(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(text)));
}

std::string FromWindow(HWND window) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(window));
}

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

using Clock = std::chrono::steady_clock;

std::string Wait(int timeoutMs, int id, const std::string& title) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        for (const HWND window : VisibleTopLevelWindows()) {
            if (GetDlgItem(window, id) != nullptr && Text(window) == title) {
                return "ok " + FromWindow(window);
            }
        }
        Sleep(25);
    } while (Clock::now() < deadline);
    return "timeout";
}

std::string Gone(int timeoutMs, HWND window) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (IsWindow(window)) {
        if (Clock::now() >= deadline) {
            return "timeout";
        }
        Sleep(25);
    }
    return "ok";
}

std::string Execute(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    auto window = [&] {
        std::string text;
        in >> text;
        return ToWindow(text);
    };
    auto number = [&] {
        long long value = 0;
        in >> value;
        return value;
    };
    auto rest = [&] {
        std::string text;
        std::getline(in >> std::ws, text);
        return Unescape(text);
    };

    if (command == "wait") {
        const int timeout = static_cast<int>(number());
        const int id = static_cast<int>(number());
        return Wait(timeout, id, rest());
    }
    if (command == "gone") {
        const int timeout = static_cast<int>(number());
        return Gone(timeout, window());
    }
    if (command == "text") {
        const HWND w = window();
        const HWND control = Control(w, static_cast<int>(number()));
        return control == nullptr ? "error no such control" : "ok " + Escape(Text(control));
    }
    if (command == "texts") {
        std::string answer = "ok";
        for (const HWND child : Children(window())) {
            answer += "\t" + std::to_string(static_cast<short>(GetDlgCtrlID(child))) + "=" +
                      Escape(Text(child));
        }
        return answer;
    }
    if (command == "enabled") {
        return IsWindowEnabled(window()) ? "ok 1" : "ok 0";
    }
    if (command == "owner") {
        return "ok " + FromWindow(GetWindow(window(), GW_OWNER));
    }
    if (command == "buttons") {
        std::string answer = "ok";
        for (const HWND child : Children(window())) {
            if (IsWindowVisible(child) && lstrcmpiA(ClassOf(child).c_str(), "Button") == 0) {
                answer += " " + std::to_string(GetDlgCtrlID(child));
            }
        }
        return answer;
    }
    if (command == "focus") {
        const HWND w = window();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info)) {
            return "error no thread information";
        }
        return "ok " + std::to_string(info.hwndFocus == nullptr ? 0 : GetDlgCtrlID(info.hwndFocus));
    }
    if (command == "progress") {
        const HWND bar = GetDlgItem(window(), 1000);
        DWORD_PTR position = 0;
        DWORD_PTR low = 0;
        DWORD_PTR high = 0;
        if (bar == nullptr ||
            !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                                 &position) ||
            !SendMessageTimeoutA(bar, PBM_GETRANGE, TRUE, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                                 &low) ||
            !SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                                 &high)) {
            return "error no progress bar";
        }
        return "ok " + std::to_string(static_cast<int>(position)) + " " +
               std::to_string(static_cast<int>(low)) + " " + std::to_string(static_cast<int>(high));
    }
    if (command == "list") {
        const HWND w = window();
        const HWND list = Control(w, static_cast<int>(number()));
        DWORD_PTR count = 0;
        DWORD_PTR selected = 0;
        if (list == nullptr ||
            !SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                                 &count) ||
            !SendMessageTimeoutA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED,
                                 SMTO_ABORTIFHUNG, kReadTimeoutMs, &selected)) {
            return "error no list";
        }
        return "ok " + std::to_string(static_cast<int>(count)) + " " +
               std::to_string(static_cast<int>(selected));
    }
    if (command == "rect") {
        RECT r{};
        if (!GetWindowRect(window(), &r)) {
            return "error no window";
        }
        return "ok " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
               std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
    }
    if (command == "click") {
        const HWND w = window();
        return kolvane::remote::Click(w, static_cast<int>(number())) ? "ok" : "error no button";
    }
    if (command == "key") {
        const HWND w = window();
        const HWND control = Control(w, static_cast<int>(number()));
        const auto vk = static_cast<WPARAM>(number());
        return control != nullptr && PostMessageA(control, WM_KEYDOWN, vk, 1) &&
                       PostMessageA(control, WM_KEYUP, vk, 0xC0000001)
                   ? "ok"
                   : "error no control";
    }
    if (command == "syscommand") {
        const HWND w = window();
        return PostMessageA(w, WM_SYSCOMMAND, static_cast<WPARAM>(number()), 0) ? "ok"
                                                                                : "error no window";
    }
    if (command == "windows") {
        std::string answer = "ok";
        for (const HWND w : VisibleTopLevelWindows()) {
            answer += "\t" + Escape(Text(w));
        }
        return answer;
    }
    if (command == "hold") {
        const auto share = static_cast<DWORD>(number());
        const std::string path = rest();
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return "error " + std::to_string(::GetLastError());
        }
        held.emplace_back(file);
        return "ok";
    }
    if (command == "release") {
        held.clear();
        return "ok";
    }
    return "error unknown command " + command;
}

}  // namespace

int main() {
    // Plain line feeds on the pipe, not CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line == "quit") {
            break;
        }
        std::string answer;
        try {
            answer = Execute(line);
        } catch (const std::exception& e) {
            answer = std::string("error ") + e.what();
        }
        std::cout << answer << std::endl;
    }
    return 0;
}
