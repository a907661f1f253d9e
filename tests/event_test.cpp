#include "platform/event.h"

#include <gtest/gtest.h>

#include <regex>
#include <span>
#include <string>
#include <string_view>

#include "shell/form1_events.h"

namespace ordex {
namespace {

// Each of Form1's events built from values that hold every insertion code a viewer expands
// ("%0" ends the message there) and percent signs that start none: every string reaches the
// log with each code's '%' replaced ('#' here) and every other character as it was.
TEST(EventInsertionStrings, EveryStringOfEveryEventIsDisarmed) {
  const std::string codes = "%0%1 %%2 %{x} %9, 50% %n %";
  const ControllerInfo info{codes, codes, codes, codes, codes, codes, {}, codes};
  const ConditionReport begun{
      ConditionReport::Phase::kBegun, {ConditionKind::kMachineDataBusy, codes, codes}, {}, {}};
  ConditionReport ended = begun;
  ended.phase = ConditionReport::Phase::kEnded;
  const Form1Event events[] = {StartedEvent(info, codes, codes, {codes, codes}),
                               ChangedEvent(codes, codes, 1, codes),
                               ConditionEvent(begun),
                               ConditionEvent(ended),
                               HeartbeatEvent(1, codes, 1, codes, std::span(&codes, 1)),
                               EndedEvent(EndReason::kStopRequest, 1)};
  const std::regex insertion_code("%[0-9%{]");
  for (const Form1Event& event : events) {
    SCOPED_TRACE(event.line);
    const auto handed_over = EventInsertionStrings(
        event.strings, [](std::string_view text) { return std::string(text); }, '#');
    ASSERT_EQ(handed_over.size(), event.strings.size());
    for (std::size_t i = 0; i < handed_over.size(); ++i) {
      EXPECT_FALSE(std::regex_search(handed_over[i], insertion_code)) << handed_over[i];
      if (event.strings[i] == codes) EXPECT_EQ(handed_over[i], "#0#1 ##2 #{x} #9, 50% %n %");
    }
  }
}

// "Each string is limited to 31,839 characters" (ReportEvent): a longer one is cut to that
// length, ending in a mark a reader sees, and the event keeps its other strings; a surrogate
// pair at the cut goes whole.
TEST(EventInsertionStrings, AStringLongerThanTheLogTakesIsCutWithAMark) {
  constexpr std::size_t kLimit = kMaxInsertionStringLength;
  const std::string mark(kInsertionStringCutMark);
  for (const std::size_t length : {kLimit, kLimit + 1, std::size_t{40000}}) {
    SCOPED_TRACE(length);
    const std::string strings[] = {std::string(length, 'v'), "short"};
    const auto handed_over = EventInsertionStrings(
        std::span(strings), [](std::string_view text) { return std::string(text); }, '#');
    EXPECT_EQ(handed_over[0],
              length > kLimit ? std::string(kLimit - mark.size(), 'v') + mark : strings[0]);
    EXPECT_EQ(handed_over[1], "short");
  }
  const std::u16string kept(kLimit - mark.size() - 1, u'v');
  EXPECT_EQ(CutToLength(kept + u"\xD83D\xDE00 and more"), kept + u" [...]");
}

}  // namespace
}  // namespace ordex
