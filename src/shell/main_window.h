#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "collectors/controller_info.h"
#include "platform/machine.h"
#include "platform/registry_access.h"
#include "shell/form1_layout.h"
#include "shell/lasting_condition.h"
#include "shell/machine_data_watch.h"
#include "shell/settings.h"
#include "shell/start_up_patience.h"

namespace ordex {

inline constexpr std::string_view kNotAvailable = "Not Available";
inline constexpr std::string_view kDefaultInstallDir = "C:\\XOC";
// The refresh periods that keep the refresh running; 0 or less stops it for good.
inline constexpr std::int32_t kLowestRunningTimerInterval = 1;
// How often a running ORDEX says that it still watches, counted from the end of its start-up.
inline constexpr std::chrono::hours kHeartbeatPeriod{24};

// The main window: its state, the start-up sequence (Form_Load) and the refresh cycle run by
// Timer1. The window state fields keep their design names and are public, plain data. All it
// needs from the machine comes through `machine`, which must outlive it.
class Form1 : private TickListener {
 public:
  enum class LoadResult { kRunning, kAnotherInstance, kFailed, kEnded };

  explicit Form1(Machine& machine);
  ~Form1();

  // Start-up, then the event loop; returns the program's exit status.
  int Run();

  // The load handler. A second start in the session ends at once (kAnotherInstance). While
  // another ORDEX collects on the PC (another session's, another user's) it waits, touching
  // nothing, until that one ends, then starts up afresh; asked to end meanwhile it ends without a
  // word (kEnded). On an error it reports the message and returns kFailed; nothing after the
  // failing step runs. The window asked to end while start-up waits for a file (closed, the
  // session ending, a stop request) stops it there too: the end is reported, kEnded.
  LoadResult Form_Load();

  // Timer1's tick: one refresh pass (none once the refresh is stopped), then the heartbeat when
  // it is due. On an error it reports the message and ends the event loop with status 1.
  void Timer1_Timer();

  // The window's end, by its reason (the window closed, the session ending, a stop request):
  // reports it with the change count. Never fails.
  void Form_QueryUnload(EndReason how);

  std::int32_t TimerInterval = 0;
  std::int32_t Visible = 0;
  std::string InstallDir;
  std::string MachineDataPath;
  std::int32_t ChangeCount = 0;
  ControllerInfo Current;
  ControllerInfo Saved;

  std::string_view RefreshNoCaption() const { return refresh_no_caption_; }

 private:
  void OnTick() override { Timer1_Timer(); }
  void OnEnd(EndReason reason) override { Form_QueryUnload(reason); }
  void BecomeTheCollector();
  void StartUp();
  void LoadSettings();
  std::string GetIpoTime();
  std::string GetExAxNum(FileTime& fileTime);
  std::string GetSensorInfo(std::string& driver_version);
  void WriteInfoFile();
  void RefreshCycle();
  bool TakeInMachineData();
  void WriteInfoFileWhenFree();
  void NoteSummaryWrite(FileStatus status);
  std::optional<Condition> SummaryCondition() const;
  void WriteFleetFacts();
  void CountChange();
  void Observe(LastingCondition& place, const std::optional<Condition>& found);
  void StartHeartbeat();
  void HeartbeatWhenDue();
  void ArmTimerForHeartbeatAlone(std::chrono::steady_clock::time_point now);

  RegistryAccess& Registry();
  std::string ReadVersionValue(std::string_view value_name);
  void ReadSettings(bool write_back_defaults);
  template <typename MakeEvent>
  void Report(MakeEvent make_event);
  void Show(Control control, std::string_view text);
  void ShowChangeCount();
  void AdvanceRefreshNo();
  void ApplyVisibility();
  void EndWithError(std::string_view message, int status);

  Machine& machine_;
  // The files as start-up sees them, with patience for a file held or being saved.
  std::unique_ptr<StartUpPatience> start_up_files_;
  std::unique_ptr<RegistryAccess> registry_;
  std::unique_ptr<InstanceLock> instance_lock_;
  std::unique_ptr<InstanceLock> collector_lock_;
  MachineDataWatch machine_data_{machine_};
  std::string refresh_no_caption_{kRefreshNoInitial};
  Settings settings_;
  bool summary_pending_ = false;
  // Why the last write of the summary did not land (kBusy, kDenied); kDone when it did.
  FileStatus summary_refusal_ = FileStatus::kDone;
  // The facts key lacks what the summary holds now: written at the end of start-up and after
  // each change, and tried again on every pass while it could not be.
  bool facts_stale_ = true;
  std::string facts_failure_;
  std::chrono::system_clock::time_point started_wall_{};
  // Who collects: asked once, as neither changes while the process runs.
  SessionIdentity session_;
  std::optional<std::chrono::system_clock::time_point> last_change_;
  // What keeps the refresh pass from its whole job, reported once it lasts.
  LastingCondition machine_data_condition_;
  LastingCondition summary_condition_;
  LastingCondition facts_condition_;
  std::chrono::steady_clock::time_point started_at_{};
  std::chrono::steady_clock::time_point next_heartbeat_{};
};

// The host-name probe: a buffer of 255 spaces handed to the machine's query, trimmed of spaces
// and cut at the first NUL.
std::string ProbeComputerName(Machine& machine);

}  // namespace ordex
