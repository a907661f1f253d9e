#include "shell/form1_events.h"

#include <utility>

#include "core/text.h"
#include "report/summary_file.h"

namespace ordex {
namespace {

std::string_view EndText(EndReason reason) {
  switch (reason) {
    case EndReason::kWindowClosed:
      return "window closed";
    case EndReason::kEndOfSession:
      return "end of session";
    case EndReason::kClosedForUpdate:
      return "closed for an update";
    case EndReason::kStopRequest:
      break;
  }
  return "stop request";
}

}  // namespace

Form1Event StartedEvent(const ControllerInfo& info, std::string_view summary_path,
                        std::string_view ordex_version, const SessionIdentity& session) {
  Form1Event event{kStartedEventId, EventLevel::kInformation, {}, {}};
  // Not "wrote": a summary this user may not write is not written at start-up either, and is
  // then reported as a lasting condition.
  event.line = "started with its summary file " + std::string(summary_path) + ":";
  const char* separator = " ";
  for (auto& [key, value] : SummaryLines(info)) {
    event.line.append(separator).append(key).append(value);
    separator = "; ";
    event.strings.push_back(std::move(value));
  }
  event.strings.emplace_back(summary_path);
  event.strings.emplace_back(ordex_version);
  event.strings.push_back(session.session);
  event.strings.push_back(session.user);
  event.line += " (ORDEX " + event.strings[8] + ", session " + event.strings[9] + ", user " +
                event.strings[10] + ")";
  return event;
}

Form1Event ChangedEvent(std::string_view old_count, std::string_view new_count,
                        std::int32_t change_number, std::string_view machine_data_path) {
  Form1Event event{kChangedEventId,
                   EventLevel::kInformation,
                   {LineBreaksAsSpaces(old_count), LineBreaksAsSpaces(new_count),
                    std::to_string(change_number), std::string(machine_data_path)},
                   {}};
  event.line = "the number of external axes in " + event.strings[3] + " changed from " +
               event.strings[0] + " to " + event.strings[1] + ": change " + event.strings[2] +
               " since start";
  return event;
}

Form1Event ConditionEvent(const ConditionReport& report) {
  const bool begun = report.phase == ConditionReport::Phase::kBegun;
  return {begun ? kConditionBegunEventId : kConditionEndedEventId,
          begun ? EventLevel::kWarning : EventLevel::kInformation, ReportParts(report),
          ReportLine(report)};
}

Form1Event HeartbeatEvent(std::int64_t days, std::string_view passes, std::int32_t change_count,
                          std::string_view machine_data_path,
                          std::span<const std::string> conditions) {
  std::string standing;
  for (const auto& condition : conditions) {
    if (!standing.empty()) standing += "; ";
    standing += condition;
  }
  if (standing.empty()) standing = "none";
  Form1Event event{kHeartbeatEventId,
                   EventLevel::kInformation,
                   {std::to_string(days), std::string(passes), std::to_string(change_count),
                    std::string(machine_data_path), std::move(standing)},
                   {}};
  event.line = "still watches " + event.strings[3] + " (days running: " + event.strings[0] +
               "): " + event.strings[1] + " refresh passes, " + event.strings[2] +
               " changes counted; lasting conditions: " + event.strings[4];
  return event;
}

Form1Event CollectorClaimUnavailableEvent(std::string_view reason) {
  Form1Event event{kWarningEventId, EventLevel::kWarning, {}, {}};
  event.line = std::string(reason) +
               "; collecting without the claim, so another ORDEX of this PC may collect too";
  event.strings.push_back(event.line);
  return event;
}

Form1Event EndedEvent(EndReason reason, std::int32_t change_count) {
  Form1Event event{kEndedEventId,
                   EventLevel::kInformation,
                   {std::string(EndText(reason)), std::to_string(change_count)},
                   {}};
  event.line = "ended (" + event.strings[0] + ") after " + event.strings[1] +
               " changes of the number of external axes";
  return event;
}

}  // namespace ordex
