#include "platform/registry_numbers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ordex {
namespace {

TEST(DwordFromText, TakesDecimalAndHexWithinTheDwordRange) {
  const struct {
    std::string_view text;
    std::optional<std::int32_t> number;
  } cases[] = {
      {"1", 1},
      {" \t10000 ", 10000},
      {"+7", 7},
      {"-0", 0},
      {"007", 7},
      {"-2147483648", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MIN},  // DWORD bits, as REG_DWORD holds them
      {"4294967295", -1},
      {"0x10", 16},
      {" 0XfFfFfFfF ", -1},
      {"0x00000000000000001", 1},
      {"4294967296", std::nullopt},
      {"-2147483649", std::nullopt},
      {"0x100000000", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"-0x1", std::nullopt},
      {"0x-1", std::nullopt},
      {"--1", std::nullopt},
      {"- 1", std::nullopt},
      {"1 0", std::nullopt},
      {"1.5", std::nullopt},
      {"1e3", std::nullopt},
      {"12abc", std::nullopt},
      {"\xEF\xBC\x91", std::nullopt},  // a full-width digit
      {std::string_view("1\0", 2), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(DwordFromText(c.text), c.number);
  }
}

TEST(DwordFromQword, TakesTheSameRange) {
  EXPECT_EQ(DwordFromQword(10000), 10000);
  EXPECT_EQ(DwordFromQword(-1), -1);
  EXPECT_EQ(DwordFromQword(INT32_MIN), INT32_MIN);
  EXPECT_EQ(DwordFromQword(UINT32_MAX), -1);
  EXPECT_EQ(DwordFromQword(std::int64_t{UINT32_MAX} + 1), std::nullopt);
  EXPECT_EQ(DwordFromQword(std::int64_t{INT32_MIN} - 1), std::nullopt);
  EXPECT_EQ(DwordFromQword(INT64_MIN), std::nullopt);
}

}  // namespace
}  // namespace ordex
