#include "check/path_key.h"

#include <vector>

namespace kolvane::check {
namespace {

// Upper case for the letters of Windows-1252: ASCII and the accented letters from 0xE0 on (apart
// from the division sign 0xF7), which sit 0x20 above their capitals, s, oe and z with caron or
// ligature 0x10 above theirs, and y diaeresis, whose capital is 0x9F.
char FoldCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7)) {
        return static_cast<char>(byte - 0x20);
    }
    if (byte == 0x9A || byte == 0x9C || byte == 0x9E) {
        return static_cast<char>(byte - 0x10);
    }
    return byte == 0xFF ? '\x9F' : c;
}

}  // namespace

std::string PathKey(std::string_view path) {
    std::vector<std::string> components;
    std::string component;
    const auto finish = [&] {
        if (component == "..") {
            if (components.size() > 1) {  // never above the first component, the drive
                components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        component.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/') {
            finish();
        } else {
            component += FoldCase(c);
        }
    }
    finish();
    std::string key;
    for (const std::string& part : components) {
        if (!key.empty()) {
            key += '\\';
        }
        key += part;
    }
    return key;
}

std::string DirectoryPart(const std::string& path) {
    const std::size_t lastBackslash = path.rfind('\\');
    return lastBackslash == std::string::npos ? path : path.substr(0, lastBackslash);
}

}  // namespace kolvane::check
