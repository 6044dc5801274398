#include "dialog_driver.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kolvane::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<HWND> OwnTopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            DWORD process = 0;
            ::GetWindowThreadProcessId(window, &process);
            if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

}  // namespace

std::string WindowText(HWND window) {
    std::string text(4096, '\0');
    const int length = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

std::string ControlText(HWND window, int controlId) {
    const HWND control = ::GetDlgItem(window, controlId);
    return control == nullptr ? "<no control " + std::to_string(controlId) + ">"
                              : WindowText(control);
}

HWND WaitForWindow(const std::string& title, int controlId, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        for (const HWND window : OwnTopLevelWindows()) {
            if (WindowText(window) == title && ::GetDlgItem(window, controlId) != nullptr) {
                return window;
            }
        }
        ::Sleep(20);
    } while (Clock::now() < deadline);
    return nullptr;
}

bool WaitUntilGone(HWND window, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (::IsWindow(window)) {
        if (Clock::now() >= deadline) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

void Click(HWND window, int buttonId) {
    ::PostMessageA(::GetDlgItem(window, buttonId), BM_CLICK, 0, 0);
}

void DriveWhileRunning(const std::function<void()>& run, const std::function<void()>& drive) {
    std::atomic<bool> running{true};
    std::thread driver([&] {
        drive();
        // Cancel whatever is still open, innermost first, until the modal loop has returned.
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (running && Clock::now() < deadline) {
            for (const HWND window : OwnTopLevelWindows()) {
                if (::IsWindowEnabled(window)) {
                    ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
                }
            }
            ::Sleep(100);
        }
    });
    run();
    running = false;
    driver.join();
}

}  // namespace kolvane::testing
