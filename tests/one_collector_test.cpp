// One collector per PC: Form1 in one session collects, Form1 in another session of the same PC
// waits for it, touching nothing, and starts up afresh once it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "form1_fixture.h"
#include "shell/collector_claim.h"

namespace ordex {
namespace {
using std::chrono::seconds;
using testing::EventLines;
using testing::FakeView;
using testing::Form1Test;
using testing::kSummary;

// Another session of the fixture's PC: a window and a session of its own, the PC's files,
// registry and machine-wide names.
struct OtherSession {
  OtherSession(MemoryMachine& pc, const FileAccess& files, MemoryRegistry& registry)
      : machine(files, view, [this, &registry] {
          ++registry_opens;
          return registry.Open();
        }) {
    machine.machine_wide = pc.machine_wide;
    machine.now = pc.now;
  }
  std::vector<std::uint16_t> EventIds() const {
    std::vector<std::uint16_t> ids;
    for (const auto& event : machine.events) ids.push_back(event.id);
    return ids;
  }

  FakeView view;
  int registry_opens = 0;
  MemoryMachine machine;
};

class OneCollectorTest : public Form1Test {
 protected:
  // Starts the collector in the fixture's session.
  void StartTheCollector() {
    StartForm();
    ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
    machine.events.clear();
  }
  // `action` runs once Form1 in `other` has waited for three seconds from now, trying the
  // claim every 250 ms meanwhile.
  static void WhileWaiting(OtherSession& other, std::function<void()> action) {
    const auto start = other.machine.now;
    other.machine.on_sleep = [&other, action, start, last = start, done = false]() mutable {
      if (done) return;
      EXPECT_EQ(other.machine.now - last, std::chrono::milliseconds(250));
      last = other.machine.now;
      if (other.machine.now < start + seconds(3)) return;
      done = true;
      action();
    };
  }

  std::chrono::steady_clock::time_point other_start_{};
};

// However the collector ends (closed, its session ending, killed: Windows then gives the
// abandoned mutex to the next waiter), the waiting ORDEX, which has touched nothing so far,
// becomes the collector within a second and runs a whole start-up of its own.
TEST_F(OneCollectorTest, TheWaitingOrdexTouchesNothingThenStartsAfreshHoweverTheCollectorEnds) {
  enum class End { kClosed, kSessionEnded, kKilled };
  for (const End end : {End::kClosed, End::kSessionEnded, End::kKilled}) {
    SCOPED_TRACE(static_cast<int>(end));
    StartTheCollector();
    WriteMachineData("5");  // not seen by the collector: no pass ran
    const std::string summary = files.ReadWholeFile(kSummary);
    const auto stamp = files.ModificationTime(kSummary);
    OtherSession other(machine, files, registry);
    std::optional<std::chrono::steady_clock::time_point> ended_at;
    WhileWaiting(other, [&] {
      EXPECT_EQ(files.ReadWholeFile(kSummary), summary);
      EXPECT_EQ(files.ModificationTime(kSummary), stamp);
      EXPECT_EQ(other.registry_opens, 0);
      EXPECT_TRUE(other.machine.events.empty());
      EXPECT_EQ(other.view.set_text_calls() + other.view.set_visible_calls(), 0);
      // A second start in the waiting one's session still ends at once.
      EXPECT_EQ(Form1(other.machine).Form_Load(), Form1::LoadResult::kAnotherInstance);
      if (end == End::kKilled) {
        machine.machine_wide->Abandon(kCollectorClaimName);
      } else {
        form_->Form_QueryUnload(end == End::kClosed ? EndReason::kWindowClosed
                                                    : EndReason::kEndOfSession);
      }
      form_.reset();
      ended_at = other.machine.now;
    });
    Form1 successor(other.machine);
    ASSERT_EQ(successor.Form_Load(), Form1::LoadResult::kRunning) << other.machine.fatal_error;
    ASSERT_TRUE(ended_at);
    EXPECT_LE(other.machine.now - *ended_at, seconds(1));
    EXPECT_EQ(SummaryCount(), "5");
    EXPECT_EQ(other.view.Text(Control::txtExAxNum), "5");
    EXPECT_EQ(other.EventIds(), std::vector<std::uint16_t>{kStartedEventId});
    EXPECT_EQ(EventLines(machine, kEndedEventId).size(), end == End::kKilled ? 0u : 1u);
    EXPECT_TRUE(machine.machine_wide->Held(kCollectorClaimName));
  }
}

// Asked to end while it waits (closed, a logoff, an installer's close, the package's close
// signal), the waiting ORDEX ends with status 0 and no event: it never collected.
TEST_F(OneCollectorTest, TheWaitingOrdexEndsWithoutAWordWhenAskedTo) {
  StartTheCollector();
  for (const EndReason reason : {EndReason::kWindowClosed, EndReason::kEndOfSession,
                                 EndReason::kStopRequest, EndReason::kClosedForUpdate}) {
    OtherSession other(machine, files, registry);
    WhileWaiting(other, [&] { other.view.RequestEnd(reason); });
    EXPECT_EQ(Form1(other.machine).Run(), 0);
    EXPECT_TRUE(other.machine.events.empty());
    EXPECT_EQ(other.registry_opens, 0);
    EXPECT_TRUE(other.machine.fatal_error.empty());
  }
  EXPECT_TRUE(machine.events.empty()) << "the collector runs on";
}

// A name another program made its own (an object of another kind, one ORDEX may not wait on)
// is said once, with its reason; ORDEX collects without the claim rather than never.
TEST_F(OneCollectorTest, ASquattedNameIsReportedOnceAndOrdexCollectsWithoutIt) {
  machine.machine_wide->Squat(kCollectorClaimName, "cannot open Global\\ORDEX.Collector: taken");
  StartForm();
  ASSERT_EQ(load_result_, Form1::LoadResult::kRunning) << machine.fatal_error;
  ASSERT_EQ(machine.events.size(), 2u);
  EXPECT_EQ(machine.events[0].level, EventLevel::kWarning);
  EXPECT_EQ(machine.events[0].id, kWarningEventId);
  EXPECT_EQ(machine.events[0].strings, std::vector<std::string>{machine.events[0].line});
  EXPECT_TRUE(machine.events[0].line.starts_with("cannot open Global\\ORDEX.Collector: taken; "))
      << machine.events[0].line;
  EXPECT_EQ(machine.events[1].id, kStartedEventId);
  TimedPass();
  EXPECT_EQ(machine.events.size(), 2u);
}

}  // namespace
}  // namespace ordex
