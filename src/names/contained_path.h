#pragma once

#include <string_view>

namespace kolvane::names {

// Whether `relative`, appended to a base directory, still names something inside that
// directory. An install script comes with a downloaded package, so its paths must not reach
// elsewhere. Refused are: a ".." that climbs above the base; a ':' anywhere (a drive letter, or
// an alternate data stream); a leading separator (the drive's root, or a UNC name); a component
// of dots and blanks alone other than "." and "..", whose meaning differs between systems; a
// component that names a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, also with a
// superscript digit, CONIN$, CONOUT$), in any letter case, with or without an extension; and a
// NUL byte, at which Windows would cut the path short.
bool StaysInsideBase(std::string_view relative);

}  // namespace kolvane::names
