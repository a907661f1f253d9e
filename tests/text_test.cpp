#include "core/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ordex {
namespace {

using namespace std::string_literals;

std::vector<std::string> LinesOf(std::string_view content) {
  std::vector<std::string> lines;
  ForEachLine(content, [&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  return lines;
}

TEST(ForEachLine, CrLfLoneLfAndLoneCrEachEndOneLine) {
  const struct {
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\n\r\nb\r", {"a", "", "b"}},
      {"\r", {""}},
      {"a", {"a"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(LinesOf(c.content), c.lines);
}

TEST(LineBreaksAsSpaces, EachCrAndLfBecomesOneSpaceAndNothingElseChanges) {
  EXPECT_EQ(LineBreaksAsSpaces("a\r\nb\rc\nd"), "a  b c d");
  EXPECT_EQ(LineBreaksAsSpaces(" \t\x01\xE4x\0y "s), " \t\x01\xE4x\0y "s);
}

}  // namespace
}  // namespace ordex
