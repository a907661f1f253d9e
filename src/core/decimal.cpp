#include "core/decimal.h"

#include <algorithm>
#include <limits>

namespace ordex {
namespace {

constexpr std::int64_t kMinInt32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSign(char c) { return c == '+' || c == '-'; }

}  // namespace

std::optional<DecimalNumber> ParseDecimal(std::string_view text) {
  DecimalNumber number;
  std::size_t position = 0;
  if (position < text.size() && IsSign(text[position])) number.negative = text[position++] == '-';
  for (; position < text.size() && IsDigit(text[position]); ++position) {
    number.digits += text[position];
  }
  number.point = static_cast<std::int64_t>(number.digits.size());
  if (position < text.size() && text[position] == '.') {
    for (++position; position < text.size() && IsDigit(text[position]); ++position) {
      number.digits += text[position];
    }
  }
  if (number.digits.empty()) return std::nullopt;
  if (position < text.size() && (text[position] == 'e' || text[position] == 'E')) {
    ++position;
    bool negative_exponent = false;
    if (position < text.size() && IsSign(text[position])) {
      negative_exponent = text[position++] == '-';
    }
    if (position == text.size()) return std::nullopt;
    // Any exponent beyond the digit count only moves the number further out of range or
    // further below one half, so it is capped where it cannot overflow.
    const std::int64_t cap = static_cast<std::int64_t>(number.digits.size()) + 20;
    std::int64_t exponent = 0;
    for (; position < text.size() && IsDigit(text[position]); ++position) {
      exponent = std::min(cap, exponent * 10 + (text[position] - '0'));
    }
    number.point += negative_exponent ? -exponent : exponent;
  }
  if (position != text.size()) return std::nullopt;
  return number;
}

std::optional<std::int32_t> RoundToInt32(DecimalNumber number) {
  const auto first_non_zero = number.digits.find_first_not_of('0');
  if (first_non_zero == std::string::npos) return 0;
  number.digits.erase(0, first_non_zero);
  number.point -= static_cast<std::int64_t>(first_non_zero);
  // The first digit is not zero now, so eleven or more places before the point mean at least
  // 10^10, far outside the range; no place before it means less than a tenth, which rounds to 0.
  if (number.point > 10) return std::nullopt;
  if (number.point < 0) return 0;
  const auto point = static_cast<std::size_t>(number.point);
  const std::string& digits = number.digits;
  std::int64_t integer = 0;
  for (std::size_t i = 0; i < point; ++i) {
    integer = integer * 10 + (i < digits.size() ? digits[i] - '0' : 0);
  }
  if (point < digits.size()) {
    const int first_fraction_digit = digits[point] - '0';
    const bool more_after_it = digits.find_first_not_of('0', point + 1) != std::string::npos;
    const bool above_half =
        first_fraction_digit > 5 || (first_fraction_digit == 5 && more_after_it);
    const bool exactly_half = first_fraction_digit == 5 && !more_after_it;
    if (above_half || (exactly_half && integer % 2 == 1)) ++integer;
  }
  if (number.negative) integer = -integer;
  if (integer < kMinInt32 || integer > kMaxInt32) return std::nullopt;
  return static_cast<std::int32_t>(integer);
}

}  // namespace ordex
