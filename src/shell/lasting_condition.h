#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ordex {

// A condition in which ORDEX cannot do its whole job, reported only once it has lasted both
// kConditionReportAfter and kConditionReportPasses: a save or a collector holding a file for a
// moment is harmless and says nothing, a file gone for good is said once, and so is its end.
inline constexpr std::chrono::seconds kConditionReportAfter{10};
inline constexpr int kConditionReportPasses = 3;

enum class ConditionKind {
  kMachineDataMissing,
  kMachineDataEmpty,
  kMachineDataBusy,  // held by another program: without sharing, a locked range, delete pending
  kMachineDataChanging,
  kMachineDataUnreadable,  // no permission, a folder in its place, a failing read
  kSummaryPending,         // held by another program
  kSummaryDenied,    // this user may not write it (another user's, with an access list of its own)
  kFactsNotWritten,  // the facts key may not be written (no package granted it), or failed
};

// What stands in the way in one pass: its kind, the file (or registry key), and the system's
// words when there are any.
struct Condition {
  ConditionKind kind;
  std::string file;
  std::string detail;
};

// A lasting condition that has begun or ended, each field on its own so that every place the
// report goes can use them as it needs.
struct ConditionReport {
  enum class Phase { kBegun, kEnded };
  Phase phase;
  Condition condition;
  std::chrono::system_clock::time_point since;
  std::chrono::steady_clock::duration lasted;
};

// The report as one line: "<what> since <UTC time>: <detail>" when it has begun, "<what>:
// ended after <duration> (since <UTC time>): <file>" when it has ended.
std::string ReportLine(const ConditionReport& report);

// The report's parts, each on its own, for the event log: what, the file, since when (UTC) and
// the system's words (empty when there are none) when it has begun; what, the file, how long
// and since when when it has ended.
std::vector<std::string> ReportParts(const ConditionReport& report);

// One place where a condition may stand (the machine data file, the summary file, the facts
// key), looked at once per pass. A condition that changes its kind while it lasts (a file held,
// then renamed away) is one condition, named by the kind seen when it is reported.
class LastingCondition {
 public:
  // What this pass found; returns the report due now, if any.
  std::optional<ConditionReport> Observe(const std::optional<Condition>& found,
                                         std::chrono::steady_clock::time_point now,
                                         std::chrono::system_clock::time_point wall_now);

  // The condition reported as begun and not yet ended, as "<what> since <UTC time>: <file>";
  // nothing while none stands or it has not lasted long enough to be reported.
  std::optional<std::string> Reported() const;

 private:
  struct Standing {
    Condition condition;
    std::chrono::steady_clock::time_point began;
    std::chrono::system_clock::time_point since;
    int passes = 0;
    bool reported = false;
  };
  std::optional<Standing> standing_;
};

}  // namespace ordex
