#include "platform/win32/windows_support.h"

#include <vector>

namespace kolvane::win32 {

std::string LoadResourceString(HINSTANCE instance, UINT id) {
    // LoadStringA gives no length of its own: grow the buffer until the text fits with room left.
    std::vector<char> buffer(512);
    for (;;) {
        const int length =
            ::LoadStringA(instance, id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) + 1 < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ApplicationName(const std::string& modulePath) {
    const std::size_t backslash = modulePath.find_last_of("\\/");
    std::string name =
        backslash == std::string::npos ? modulePath : modulePath.substr(backslash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

std::string ModulePath() {
    // 260 bytes, of which 259 are offered: the last byte stays NUL even when the path is cut.
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH - 1);
    return std::string(buffer, length);
}

}  // namespace kolvane::win32
