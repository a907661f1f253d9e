#include "platform/registry_numbers.h"

#include <charconv>

namespace ordex {
namespace {

constexpr std::int64_t kLowest = INT32_MIN;
constexpr std::int64_t kHighest = UINT32_MAX;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The whole of `digits` as a number of the base; false for an empty text, any other character
// (std::from_chars alone would take a sign or stop early) or a value beyond 64 bits.
bool WholeNumber(std::string_view digits, int base, std::int64_t& value) {
  if (digits.empty() || digits.front() == '-' || digits.front() == '+') return false;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  return error == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

std::optional<std::int32_t> DwordFromText(std::string_view text) {
  text = TrimBlanks(text);
  std::int64_t value = 0;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    if (!WholeNumber(text.substr(2), 16, value)) return std::nullopt;
    return DwordFromQword(value);
  }
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  if (!WholeNumber(text, 10, value)) return std::nullopt;
  return DwordFromQword(negative ? -value : value);
}

std::optional<std::int32_t> DwordFromQword(std::int64_t value) {
  if (value < kLowest || value > kHighest) return std::nullopt;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace ordex
