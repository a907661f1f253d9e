#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ordex {

// Text inside the program is held in the 8-bit code page, one byte per character: the system's
// ANSI code page on Windows, Windows-1252 in the POSIX stand-ins. These conversions serve the
// places where other encodings meet it: a UTF-16 or UTF-8 registry store, and a UTF-8 display.

// Windows-1252 to UTF-8. The five bytes that Windows-1252 leaves undefined map to the C1 control
// characters of the same value, as Windows does.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 to Windows-1252; characters it lacks, and malformed sequences, become '?'. The
// overload with `lost` sets it when that happened (and leaves it alone otherwise), so that a
// caller can tell a '?' that stands in for another character from a real one.
std::string Utf8ToCp1252(std::string_view text);
std::string Utf8ToCp1252(std::string_view text, bool& lost);

// The one character of UTF-8 `text` at `pos` in Windows-1252, `pos` moved past it, `lost` as
// above. A malformed sequence ends before the first byte that cannot continue it, so that each
// piece of broken text becomes exactly one '?'.
char NextUtf8AsCp1252(std::string_view text, std::size_t& pos, bool& lost);

// UTF-16LE bytes (no BOM) to Windows-1252; characters it lacks become '?' (one for a surrogate
// pair), and `lost` is set as above. An odd last byte is ignored.
std::string Utf16LeToCp1252(std::string_view bytes);
std::string Utf16LeToCp1252(std::string_view bytes, bool& lost);

// Windows-1252 to UTF-16LE bytes (no BOM).
std::string Cp1252ToUtf16Le(std::string_view text);

}  // namespace ordex
