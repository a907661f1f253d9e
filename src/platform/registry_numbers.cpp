#include "platform/registry_numbers.h"

#include <charconv>

#include "core/text.h"

namespace ordex {
namespace {

constexpr std::int64_t kLowest = INT32_MIN;
constexpr std::int64_t kHighest = UINT32_MAX;

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

namespace {

// Little-endian data of exactly the type's size, whatever the byte order of the machine.
template <typename Integer>
bool FromLittleEndian(std::string_view bytes, Integer& value) {
  if (bytes.size() != sizeof(Integer)) return false;
  std::uint64_t bits = 0;
  for (std::size_t i = sizeof(Integer); i-- > 0;)
    bits = bits << 8 | static_cast<unsigned char>(bytes[i]);
  value = static_cast<Integer>(bits);
  return true;
}

}  // namespace

std::optional<std::int32_t> DwordFromData(std::uint32_t type, std::string_view bytes) {
  std::uint32_t dword = 0;
  std::int64_t qword = 0;
  if (type == kRegDword && FromLittleEndian(bytes, dword)) return static_cast<std::int32_t>(dword);
  if (type == kRegQword && FromLittleEndian(bytes, qword)) return DwordFromQword(qword);
  return std::nullopt;
}

}  // namespace ordex
