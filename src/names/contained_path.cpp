#include "names/contained_path.h"

#include <algorithm>
#include <array>

#include "names/letter_case.h"
#include "names/windows_path.h"

namespace kolvane::names {
namespace {

// Windows sees a device in the part before the first dot, with trailing blanks ignored.
bool NamesDevice(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    if (base.size() < 3 || base.size() > 7) {
        return false;  // shorter or longer than every device name
    }
    static constexpr std::array<std::string_view, 6> kNames = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    if (std::any_of(kNames.begin(), kNames.end(),
                    [base](std::string_view name) { return EqualsIgnoringCase(base, name); })) {
        return true;
    }
    if (base.size() != 4 || !(EqualsIgnoringCase(base.substr(0, 3), "COM") ||
                              EqualsIgnoringCase(base.substr(0, 3), "LPT"))) {
        return false;
    }
    // 1 to 9, or the Windows-1252 superscripts one, two and three.
    const char digit = base[3];
    return (digit >= '1' && digit <= '9') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
}

bool OnlyDotsAndBlanks(std::string_view component) {
    return component.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

bool StaysInsideBase(std::string_view relative) {
    if (relative.find(':') != std::string_view::npos ||
        relative.find('\0') != std::string_view::npos ||
        (!relative.empty() && IsSeparator(relative[0]))) {
        return false;
    }
    int depth = 0;
    return ForEachPiece(relative, [&](std::string_view component) {
        if (component == "..") {
            return --depth >= 0;
        }
        if (component.empty() || component == ".") {
            return true;  // names the directory reached so far
        }
        if (OnlyDotsAndBlanks(component) || NamesDevice(component)) {
            return false;
        }
        ++depth;
        return true;
    });
}

}  // namespace kolvane::names
