#include "shell/lasting_condition.h"

#include <cstdio>
#include <utility>

#include "core/utc_text.h"

namespace ordex {
namespace {

std::string_view What(ConditionKind kind) {
  switch (kind) {
    case ConditionKind::kMachineDataMissing:
      return "machine data file missing";
    case ConditionKind::kMachineDataEmpty:
      return "machine data file empty";
    case ConditionKind::kMachineDataBusy:
      return "machine data file held by another program";
    case ConditionKind::kMachineDataChanging:
      return "machine data file changing whenever it is read";
    case ConditionKind::kMachineDataUnreadable:
      return "machine data file unreadable";
    case ConditionKind::kSummaryPending:
      return "summary file not rewritten, held by another program";
    case ConditionKind::kSummaryDenied:
      return "summary file not rewritten, this user may not write it";
    case ConditionKind::kFactsNotWritten:
      return "facts key not written";
  }
  return "condition";
}

// "12 s", "4 min 05 s", "3 h 02 min 09 s".
std::string DurationText(std::chrono::steady_clock::duration lasted) {
  const long long total = std::chrono::duration_cast<std::chrono::seconds>(lasted).count();
  char text[48];
  if (total < 60) {
    std::snprintf(text, sizeof text, "%lld s", total);
  } else if (total < 3600) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", total / 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min %02lld s", total / 3600, total / 60 % 60,
                  total % 60);
  }
  return text;
}

}  // namespace

std::string ReportLine(const ConditionReport& report) {
  const Condition& condition = report.condition;
  std::string line(What(condition.kind));
  if (report.phase == ConditionReport::Phase::kBegun) {
    line += " since " + UtcText(report.since) + ": ";
    line += condition.detail.empty() ? condition.file : condition.detail;
  } else {
    line += ": ended after " + DurationText(report.lasted) + " (since " + UtcText(report.since) +
            "): " + condition.file;
  }
  return line;
}

std::vector<std::string> ReportParts(const ConditionReport& report) {
  const Condition& condition = report.condition;
  if (report.phase == ConditionReport::Phase::kBegun) {
    return {std::string(What(condition.kind)), condition.file, UtcText(report.since),
            condition.detail};
  }
  return {std::string(What(condition.kind)), condition.file, DurationText(report.lasted),
          UtcText(report.since)};
}

std::optional<ConditionReport> LastingCondition::Observe(
    const std::optional<Condition>& found, std::chrono::steady_clock::time_point now,
    std::chrono::system_clock::time_point wall_now) {
  if (!found) {
    const auto ended = std::exchange(standing_, std::nullopt);
    if (!ended || !ended->reported) return std::nullopt;
    return ConditionReport{ConditionReport::Phase::kEnded, ended->condition, ended->since,
                           now - ended->began};
  }
  if (!standing_) standing_ = Standing{*found, now, wall_now};
  Standing& standing = *standing_;
  if (standing.reported) return std::nullopt;
  ++standing.passes;
  standing.condition = *found;
  if (standing.passes < kConditionReportPasses || now - standing.began < kConditionReportAfter) {
    return std::nullopt;
  }
  standing.reported = true;
  return ConditionReport{ConditionReport::Phase::kBegun, standing.condition, standing.since,
                         now - standing.began};
}

std::optional<std::string> LastingCondition::Reported() const {
  if (!standing_ || !standing_->reported) return std::nullopt;
  const Condition& condition = standing_->condition;
  return std::string(What(condition.kind)) + " since " + UtcText(standing_->since) + ": " +
         condition.file;
}

}  // namespace ordex
