#pragma once

#include <string_view>

namespace ordex {

// Names on the target (file names, registry keys and values) are compared as Windows compares
// them: without regard to case, in the 8-bit code page Windows-1252. Case covers the ASCII
// letters, the Latin-1 letters and the four pairs of 0x8A-0x9F with 0x9A-0xFF.

// Whether `a` and `b` are the same name when case does not count.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace ordex
