#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collectors/controller_info.h"
#include "platform/event.h"
#include "platform/session.h"
#include "platform/window_view.h"
#include "shell/lasting_condition.h"

namespace ordex {

// The events Form1 reports, by their number in the message table of ordex.exe
// (platform/ordex_messages.mc). The numbers, levels and the order of the insertion strings are
// what collectors across a fleet filter and parse on: they never change between versions.
// 1 (stopped on an error) and 2 (a warning) are the platform's own.
inline constexpr std::uint16_t kStartedEventId = 10;
inline constexpr std::uint16_t kChangedEventId = 11;
inline constexpr std::uint16_t kEndedEventId = 12;
inline constexpr std::uint16_t kHeartbeatEventId = 13;
inline constexpr std::uint16_t kConditionBegunEventId = 20;
inline constexpr std::uint16_t kConditionEndedEventId = 21;

// An event with its strings and line held, to be handed on as an Event.
struct Form1Event {
  std::uint16_t id;
  EventLevel level;
  std::vector<std::string> strings;
  std::string line;

  Event View() const { return {id, level, strings, line}; }
};

// Started (information): %1 to %7 the seven values in the summary's order, as it holds them,
// %8 the summary file, %9 ORDEX's own version, %10 the session it runs in, %11 the user it runs
// as. (The last three came later; they follow the others so that rules reading %1 to %8 keep
// working.)
Form1Event StartedEvent(const ControllerInfo& info, std::string_view summary_path,
                        std::string_view ordex_version, const SessionIdentity& session);

// Changed (information): %1 the count before, %2 the new count, %3 the change's number since
// start, %4 the machine data file.
Form1Event ChangedEvent(std::string_view old_count, std::string_view new_count,
                        std::int32_t change_number, std::string_view machine_data_path);

// Condition begun (warning): %1 what, %2 the file, %3 since when, %4 the system's words; or
// condition ended (information): %1 what, %2 the file, %3 how long, %4 since when. The line is
// the report's line.
Form1Event ConditionEvent(const ConditionReport& report);

// Still watching (information), once a day of running: %1 the days since start, %2 the refresh
// passes done, %3 the changes counted, %4 the machine data file, %5 the lasting conditions
// standing, joined by "; ", or "none".
Form1Event HeartbeatEvent(std::int64_t days, std::string_view passes, std::int32_t change_count,
                          std::string_view machine_data_path,
                          std::span<const std::string> conditions);

// The collector's claim cannot be used (warning, the platform's entry for a message of its own):
// %1 the line, which names the reason and says that this ORDEX collects without the claim.
Form1Event CollectorClaimUnavailableEvent(std::string_view reason);

// Ended (information): %1 how ("window closed", "end of session", "stop request", "closed for
// an update"), %2 the changes counted since start.
Form1Event EndedEvent(EndReason reason, std::int32_t change_count);

}  // namespace ordex
