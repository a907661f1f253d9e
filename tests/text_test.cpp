#include "core/text.h"

#include "core/case_fold.h"

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
  for (const auto &c : cases) EXPECT_EQ(LinesOf(c.content), c.lines);
}

TEST(LineBreaksAsSpaces, EachCrAndLfBecomesOneSpaceAndNothingElseChanges) {
  EXPECT_EQ(LineBreaksAsSpaces("a\r\nb\rc\nd"), "a  b c d");
  EXPECT_EQ(LineBreaksAsSpaces(" \t\x01\xE4x\0y "s), " \t\x01\xE4x\0y "s);
}

TEST(QuotedForMessage, ControlBytesAreEscapedReadablyAndLongValuesCut) {
  const struct {
    std::string value;
    std::string quoted;
  } cases[] = {
      {"2000", "'2000'"},
      {"", "''"},
      {"a\r\nb\tc", "'a\\r\\nb\\tc'"},
      {"a\0b"s, "'a\\x00b'"},
      {"\x1b[31m\a\x7f", "'\\x1b[31m\\x07\\x7f'"},
      {"C:\\XOC \xE4 'x'", "'C:\\XOC \xE4 'x''"},
      {std::string(100, 'x'), "'" + std::string(100, 'x') + "'"},
      {std::string(101, 'x'), "'" + std::string(100, 'x') + "...' (101 bytes)"},
  };
  for (const auto &c : cases) EXPECT_EQ(QuotedForMessage(c.value), c.quoted);
  EXPECT_EQ(QuotedForMessage("HKLM\n", '"'), "\"HKLM\\n\"");
}

TEST(QuotedForMessage, AMegabyteOfControlBytesGivesAShortLine) {
  const std::string quoted = QuotedForMessage(std::string(1 << 20, '\0'));
  EXPECT_LT(quoted.size(), 500u);
  EXPECT_TRUE(quoted.ends_with("...' (1048576 bytes)")) << quoted;
  EXPECT_EQ(EscapeControlBytes(quoted), quoted) << "escaping twice changes nothing";
}

TEST(EqualIgnoringCase, FoldsTheLettersOfTheCodePage) {
  EXPECT_TRUE(EqualIgnoringCase("Abc\xE9\x9A\xFF", "aBC\xC9\x8A\x9F"));
  EXPECT_FALSE(EqualIgnoringCase("\xF7", "\xD7"));  // division and multiplication signs
  EXPECT_FALSE(EqualIgnoringCase("ab", "abc"));
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
}

}  // namespace
}  // namespace ordex
