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
  const Form1Event events[] = {StartedEvent(info, codes), ChangedEvent(codes, codes, 1, codes),
                               ConditionEvent(begun), ConditionEvent(ended),
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

}  // namespace
}  // namespace ordex
