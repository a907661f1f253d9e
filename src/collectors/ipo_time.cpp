#include "collectors/ipo_time.h"

#include <cstdint>
#include <limits>

#include "core/decimal.h"
#include "core/error.h"
#include "core/text.h"
#include "platform/file_access.h"

namespace ordex {
namespace {

constexpr std::string_view kClockEntry = "system clock";
constexpr std::string_view kLayer2Entry = "layer2";

constexpr std::int64_t kMinInt32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();

// Reads the entries' values and names the file and line in its messages.
class IniReader {
 public:
  explicit IniReader(std::string_view source) : source_(source) {}

  void StartLine() { ++line_number_; }

  // The integer value of `text`: a number with spaces around it allowed, a fraction rounded to
  // the nearest integer with halves going to the even neighbour, within the 32-bit range.
  std::int32_t IntegerValue(std::string_view text) const {
    const auto number = ParseDecimal(TrimSpaces(text));
    if (!number) Fail(QuotedForMessage(text) + " is not a number");
    const auto value = RoundToInt32(*number);
    if (!value) Fail(QuotedForMessage(text) + " is outside the 32-bit range");
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
  const std::string path = files.NativePathBelow(install_dir, kHwInfRelativePath);
  return IpoTimeFromLines(files.ReadWholeFile(path), decimal_separator, path);
}

}  // namespace ordex
