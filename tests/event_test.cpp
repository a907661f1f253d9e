#include "platform/event_log_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ordex {
namespace {

// `text` with each '#' standing for the fullwidth percent sign.
std::wstring Fullwidth(std::string_view text) {
  std::wstring wide;
  for (const char c : text) wide += c == '#' ? L'\xFF05' : static_cast<wchar_t>(c);
  return wide;
}

// What reaches ReportEventW: every '%' that would start an insertion code in a viewer is the
// fullwidth percent sign, every other character is as it was.
TEST(EventInsertionString, NoViewerFindsAnInsertionCodeInIt) {
  const struct {
    const char* message;
    const char* handed_over;
  } cases[] = {
      {"hw_inf.ini:2: 'system clock=%1' is not a number",
       "hw_inf.ini:2: 'system clock=#1' is not a number"},
      {"%%1 and %%%2", "##1 and ###2"},
      {"%{00000000-0000-0000-0000-000000000000}", "#{00000000-0000-0000-0000-000000000000}"},
      {"50% done, 100 %, %n, %", "50% done, 100 %, %n, %"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(EventInsertionString(c.message), Fullwidth(c.handed_over));
  }
}

}  // namespace
}  // namespace ordex
