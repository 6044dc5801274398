#pragma once

#include <string>
#include <string_view>

// The parts of one "Texturskript" entry: identifier text ">>" definition text.
namespace kolvane::catalog {

// Reads the identifier the way atoi does: leading whitespace, an optional sign, then digits up
// to the first other byte; no digits give 0. A number beyond the 32-bit range gives the nearest
// end of that range.
int ParseIdentifier(std::string_view text);

// The definition in the catalogue's layout, byte by byte: a TAB after every ')' and '{', an LF
// and two TABs after every '}'.
std::string LayOutDefinition(std::string_view definition);

}  // namespace kolvane::catalog
