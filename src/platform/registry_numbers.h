#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ordex {

// How ReadDword takes a number that was not written as a REG_DWORD, the same in every backend.
// The accepted range is that of the values a REG_DWORD can be written as: -2147483648 up to
// 4294967295. Numbers above 2147483647 are the bits of a DWORD, so 4294967295 and 0xFFFFFFFF
// read as -1, exactly as the REG_DWORD written by `reg add /t REG_DWORD /d 4294967295` would.
// Anything else reads as missing: no number is ever cut or wrapped into another one.

// Text (REG_SZ or an expanded REG_EXPAND_SZ): a decimal integer with an optional sign, or "0x" or
// "0X" and hexadecimal digits; blanks (spaces, tabs) around it are allowed, nothing else.
std::optional<std::int32_t> DwordFromText(std::string_view text);

// A REG_QWORD, taken as signed, as `reg add /t REG_QWORD /d -1` stores -1.
std::optional<std::int32_t> DwordFromQword(std::int64_t value);

// Value types as the registry numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegQword = 0xB;

// A REG_DWORD or a REG_QWORD as the registry stores it: little-endian data of exactly the type's
// size. Nothing for other types and for data of another size.
std::optional<std::int32_t> DwordFromData(std::uint32_t type, std::string_view bytes);

}  // namespace ordex
