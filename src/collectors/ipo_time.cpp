#include "collectors/ipo_time.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/error.h"
#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {
namespace {

constexpr std::string_view kClockEntry = "system clock";
constexpr std::string_view kLayer2Entry = "layer2";

constexpr std::int64_t kMinInt32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSign(char c) { return c == '+' || c == '-'; }

// A decimal number held exactly: value = sign * 0.digits * 10^point, so that rounding a
// fraction never suffers from binary floating point ("0.5000000000000000001" rounds up).
struct DecimalNumber {
  bool negative = false;
  std::string digits;
  std::int64_t point = 0;  // how many of `digits` stand before the decimal point
};

// Reads an optional sign, digits with an optional fraction after '.', and an optional exponent.
// Anything else, or no digit at all, gives nothing.
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

// The nearest integer, halves going to the even neighbour; nothing when it is outside the
// 32-bit range.
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

// Reads the entries' values and names the file and line in its messages.
class IniReader {
 public:
  explicit IniReader(std::string_view source) : source_(source) {}

  void StartLine() { ++line_number_; }

  // The integer value of `text`: a number with spaces around it allowed, a fraction rounded to
  // the nearest integer with halves going to the even neighbour, within the 32-bit range.
  std::int32_t IntegerValue(std::string_view text) const {
    const auto number = ParseDecimal(TrimSpaces(text));
    if (!number) Fail(Quoted(text) + " is not a number");
    const auto value = RoundToInt32(*number);
    if (!value) Fail(Quoted(text) + " is outside the 32-bit range");
    return *value;
  }

  std::int32_t Product(std::int32_t clock, std::int32_t layer2) const {
    const std::int64_t product = std::int64_t{clock} * layer2;
    if (product < kMinInt32 || product > kMaxInt32) {
      Fail("system clock " + std::to_string(clock) + " times layer2 " + std::to_string(layer2) +
           " is outside the 32-bit range");
    }
    return static_cast<std::int32_t>(product);
  }

 private:
  static std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

  [[noreturn]] void Fail(const std::string& what) const {
    throw Error(std::string(source_) + ":" + std::to_string(line_number_) + ": " + what);
  }

  std::string_view source_;
  std::uint64_t line_number_ = 0;
};

std::string_view ValueText(std::string_view line) {
  const auto equals = line.find('=');
  return equals == std::string_view::npos ? line : line.substr(equals + 1);
}

std::string IpoTimeFromLines(std::string_view ini_content, char decimal_separator,
                             std::string_view source) {
  IniReader reader(source);
  std::int32_t clock = 0;
  std::int32_t layer2 = 0;
  std::int32_t product = 0;
  // The scan ends at the first line after which both values are non-zero, so a later line
  // with a bad value is never looked at.
  ForEachLine(ini_content, [&](std::string_view raw_line) {
    reader.StartLine();
    const std::string_view line = TrimSpaces(raw_line);
    if (line.starts_with(kClockEntry)) clock = reader.IntegerValue(ValueText(line));
    if (line.starts_with(kLayer2Entry)) layer2 = reader.IntegerValue(ValueText(line));
    product = reader.Product(clock, layer2);
    return product == 0;
  });
  return FormatShortest(product / 1000.0, decimal_separator);
}

}  // namespace

std::string IpoTimeFromText(std::string_view ini_content, char decimal_separator) {
  return IpoTimeFromLines(ini_content, decimal_separator, "hw_inf.ini");
}

std::string ReadIpoTime(const FileAccess& files, std::string_view install_dir,
                        char decimal_separator) {
  const std::string path = files.NativePath(std::string(install_dir).append(kHwInfRelativePath));
  return IpoTimeFromLines(files.ReadWholeFile(path), decimal_separator, path);
}

}  // namespace ordex
