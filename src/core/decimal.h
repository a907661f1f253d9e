#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ordex {

// A decimal number held exactly: value = sign * 0.digits * 10^point, so that rounding a
// fraction never suffers from binary floating point ("0.5000000000000000001" rounds up).
struct DecimalNumber {
  bool negative = false;
  std::string digits;
  std::int64_t point = 0;  // how many of `digits` stand before the decimal point
};

// Reads an optional sign, digits with an optional fraction after '.', and an optional exponent.
// Anything else (spaces included), or no digit at all, gives nothing.
std::optional<DecimalNumber> ParseDecimal(std::string_view text);

// The nearest integer, halves going to the even neighbour; nothing when it is outside the
// 32-bit range.
std::optional<std::int32_t> RoundToInt32(DecimalNumber number);

}  // namespace ordex
