#include "shell/main_window.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

#include "collectors/ex_ax_num.h"
#include "collectors/ipo_time.h"
#include "collectors/sensor_driver.h"
#include "core/error.h"
#include "core/text.h"
#include "platform/file_access.h"
#include "report/summary_file.h"
#include "shell/collector_claim.h"
#include "shell/fleet_facts.h"
#include "shell/form1_events.h"

namespace ordex {

std::string ProbeComputerName(Machine& machine) {
  std::string buffer(255, ' ');
  std::uint32_t size = 255;
  machine.QueryComputerName(buffer.data(), size);
  std::string name(TrimSpaces(buffer));
  if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
  return name;
}

Form1::Form1(Machine& machine)
    : machine_(machine), start_up_files_(std::make_unique<StartUpPatience>(machine)) {}

Form1::~Form1() = default;

int Form1::Run() {
  switch (Form_Load()) {
    case LoadResult::kAnotherInstance:
    case LoadResult::kEnded:
      return 0;
    case LoadResult::kFailed:
      return 1;
    case LoadResult::kRunning:
      break;
  }
  return machine_.View().Run(*this);
}

// Events are for those who watch the fleet: one that cannot be built or reported is lost, and
// the watching goes on.
template <typename MakeEvent>
void Form1::Report(MakeEvent make_event) {
  try {
    machine_.LogEvent(make_event().View());
  } catch (const std::exception&) {
  }
}

Form1::LoadResult Form1::Form_Load() {
  // The one-instance test comes first, before any registry or file access.
  instance_lock_ = machine_.ClaimSingleInstance();
  if (!instance_lock_) return LoadResult::kAnotherInstance;
  try {
    // Not listening yet: an end while waiting to collect is no end of a collector, and is not
    // reported.
    BecomeTheCollector();
    started_wall_ = machine_.WallClock();
    session_ = machine_.Session();
    // An end asked for while start-up waits is reported while the window handles the request.
    machine_.View().Listen(*this);
    StartUp();
  } catch (const EndRequested&) {
    return LoadResult::kEnded;
  } catch (const std::exception& e) {
    machine_.ReportFatalError(e.what());
    return LoadResult::kFailed;
  }
  Report([&] {
    return StartedEvent(Current, SummaryFilePath(machine_.Files(), InstallDir),
                        machine_.ProgramVersion(), session_);
  });
  WriteFleetFacts();
  return LoadResult::kRunning;
}

// Waits for the collector's claim. A name that cannot be claimed must not keep ORDEX off the PC
// for good (any program can take a name first): it is said once, and this ORDEX collects without
// it, which at worst is one collector per session as before.
void Form1::BecomeTheCollector() {
  MachineWideClaim claim = WaitToCollect(machine_);
  collector_lock_ = std::move(claim.lock);
  if (!claim.unavailable.empty()) {
    Report([&] { return CollectorClaimUnavailableEvent(claim.unavailable); });
  }
}

void Form1::Form_QueryUnload(EndReason how) {
  Report([&] { return EndedEvent(how, ChangeCount); });
}

void Form1::StartUp() {
  LoadSettings();
  Current.Controller = ReadVersionValue("XOCVersion");
  Show(Control::txtRobotController, Current.Controller);
  Current.BaseRelease = ReadVersionValue("Version");
  Show(Control::txtBasisrelease, Current.BaseRelease);
  Current.ComputerName = ProbeComputerName(machine_);
  Show(Control::txtComputerName, Current.ComputerName);
  Current.IpoTime = GetIpoTime();
  Show(Control::txtIPOTime, Current.IpoTime);
  Current.ExAxNum = GetExAxNum(Current.MachineDataTime);
  Show(Control::txtExAxNum, Current.ExAxNum);
  Current.Sensor = GetSensorInfo(Current.DriverVersion);
  Show(Control::txtASCIISensor, Current.Sensor);
  Show(Control::txtASCIDriverVersion, Current.DriverVersion);
  WriteInfoFile();
  Saved = Current;
  ChangeCount = 0;
  refresh_no_caption_ = kRefreshNoInitial;
  Show(Control::RefreshNo, refresh_no_caption_);
  ShowChangeCount();
  ApplyVisibility();
  machine_.View().SetTimerInterval(TimerInterval);
  StartHeartbeat();
}

void Form1::LoadSettings() {
  bool ok = false;
  bool lost_characters = false;
  Registry().ReadString(HKEY_LOCAL_MACHINE_ROOT, VersionKey, "InstallationDir", InstallDir, ok,
                        lost_characters);
  // A '?' in place of a character would make another path, or one that cannot be opened.
  if (ok && lost_characters) {
    throw Error("the registry value InstallationDir under HKEY_LOCAL_MACHINE\\" +
                std::string(VersionKey) +
                " holds a character that the system's code page cannot represent, so it names "
                "no path ORDEX can use; write the path with characters of that code page");
  }
  // An empty path would make every file path relative to the current drive's root.
  if (!ok || TrimSpaces(InstallDir).empty()) InstallDir = kDefaultInstallDir;
  ReadSettings(true);
}

// Each setting comes from the policy key where it holds a number (Group Policy steers a fleet),
// else from the settings key (the technician's), else from the value the settings key gave last,
// or the default when it never gave one (see Settings).
void Form1::ReadSettings(bool write_back_defaults) {
  settings_.Read(Registry(), write_back_defaults);
  TimerInterval = settings_.Value(SettingId::kTimerInterval);
  Visible = settings_.Value(SettingId::kVisible);
}

std::string Form1::ReadVersionValue(std::string_view value_name) {
  std::string value;
  bool ok = false;
  Registry().ReadString(HKEY_LOCAL_MACHINE_ROOT, VersionKey, value_name, value, ok);
  return ok ? value : std::string(kNotAvailable);
}

std::string Form1::GetIpoTime() {
  return ReadIpoTime(*start_up_files_, InstallDir, machine_.DecimalSeparator());
}

std::string Form1::GetExAxNum(FileTime& fileTime) {
  MachineDataPath = InstallDir + std::string(kMachineDataRelativePath);
  MachineDataReading reading = machine_data_.ReadAtStartUp(MachineDataPath, *start_up_files_);
  fileTime = reading.time;
  return std::move(reading.ex_ax_num);
}

std::string Form1::GetSensorInfo(std::string& driver_version) {
  SensorInfo info = ReadSensorInfo(*start_up_files_, InstallDir);
  if (info.driver_version) driver_version = std::move(*info.driver_version);
  return std::move(info.sensor);
}

// Start-up's write: a summary file busy for longer than start-up waits has thrown. One that this
// user may not write (another user's, with an access list of its own) stops only the summary,
// not the watch: ORDEX starts, and the refresh passes try it again and report it once it lasts.
void Form1::WriteInfoFile() {
  NoteSummaryWrite(WriteSummaryFile(*start_up_files_, InstallDir, Current));
}

void Form1::Timer1_Timer() {
  try {
    if (TimerInterval >= kLowestRunningTimerInterval) RefreshCycle();
    HeartbeatWhenDue();
  } catch (const std::exception& e) {
    EndWithError(e.what(), 1);
  }
}

void Form1::RefreshCycle() {
  const bool changed = TakeInMachineData();
  // Counted and reported before the summary is written, whose failure may end the program: a
  // change is never lost with it.
  if (changed) CountChange();
  if (changed || summary_pending_) WriteInfoFileWhenFree();
  Observe(summary_condition_, SummaryCondition());
  if (changed) facts_stale_ = true;
  if (facts_stale_) WriteFleetFacts();
  AdvanceRefreshNo();
  ReadSettings(false);
  machine_.View().SetTimerInterval(TimerInterval);
  ApplyVisibility();
  Saved = Current;
}

// Shows a new reading of the machine data file when its time stamp has moved; tells whether
// its count differs from Saved. A file that cannot be used just now is looked at again on the
// next pass, and Current keeps its values until a whole reading arrives; what keeps it from
// being used is reported only once it lasts.
bool Form1::TakeInMachineData() {
  MachineDataLook look = machine_data_.Look();
  Observe(machine_data_condition_, look.condition);
  if (!look.reading) return false;
  Current.ExAxNum = std::move(look.reading->ex_ax_num);
  Current.MachineDataTime = look.reading->time;
  Show(Control::txtExAxNum, Current.ExAxNum);
  // After a start-up that found the file empty, the first whole reading is news for the summary,
  // not a change, whatever it holds (no count at all included).
  if (look.first_known) {
    summary_pending_ = facts_stale_ = true;
    return false;
  }
  return Current.ExAxNum != Saved.ExAxNum;
}

// The summary gets the latest values as soon as no other program holds it and this user may
// write it; until then the write stays pending and is tried again on every pass. Other failures
// end the program.
void Form1::WriteInfoFileWhenFree() {
  NoteSummaryWrite(WriteSummaryFile(machine_.Files(), InstallDir, Current));
}

void Form1::NoteSummaryWrite(FileStatus status) {
  summary_refusal_ = status;
  summary_pending_ = status != FileStatus::kDone;
}

// What keeps the summary from the latest values, if anything.
std::optional<Condition> Form1::SummaryCondition() const {
  if (!summary_pending_) return std::nullopt;
  const FileAccess& files = machine_.Files();
  const std::string path = SummaryFilePath(files, InstallDir);
  if (summary_refusal_ == FileStatus::kDenied) {
    return Condition{ConditionKind::kSummaryDenied, path, files.DeniedError(path).what()};
  }
  return Condition{ConditionKind::kSummaryPending, path, BusyFileError(path).what()};
}

// The facts follow the summary and the events, and cost neither when the key cannot be written:
// a PC where no package made the key writable, or a registry that fails, is a lasting condition,
// never a reason to end.
void Form1::WriteFleetFacts() {
  try {
    const CollectorFacts collector{ChangeCount, machine_.ProgramVersion(), started_wall_,
                                   last_change_, session_};
    facts_stale_ = !WriteFacts(Registry(), FactsOf(Current, collector));
    facts_failure_ = facts_stale_ ? "cannot write the registry key HKEY_LOCAL_MACHINE\\" +
                                        std::string(FactsKey) +
                                        ": access denied (no package made it writable)"
                                  : std::string();
  } catch (const std::exception& e) {
    facts_stale_ = true;
    facts_failure_ = e.what();
  }
  std::optional<Condition> not_written;
  if (facts_stale_) {
    not_written = Condition{ConditionKind::kFactsNotWritten,
                            "HKEY_LOCAL_MACHINE\\" + std::string(FactsKey), facts_failure_};
  }
  Observe(facts_condition_, not_written);
}

void Form1::Observe(LastingCondition& place, const std::optional<Condition>& found) {
  const auto report = place.Observe(found, machine_.Now(), machine_.WallClock());
  if (report) Report([&] { return ConditionEvent(*report); });
}

void Form1::StartHeartbeat() {
  started_at_ = machine_.Now();
  next_heartbeat_ = started_at_ + kHeartbeatPeriod;
  ArmTimerForHeartbeatAlone(started_at_);
}

// Once a day of running ORDEX says that it still watches, so that a collector can tell a quiet
// ORDEX from one that is gone without an end (ended by force, a crash, a power cut). Between
// its moments a pass costs one look at the clock. A moment missed (a PC asleep, a pass that
// came late) is said once, with the days as they are.
void Form1::HeartbeatWhenDue() {
  const auto now = machine_.Now();
  if (now >= next_heartbeat_) {
    const auto days = (now - started_at_) / kHeartbeatPeriod;
    next_heartbeat_ = started_at_ + (days + 1) * kHeartbeatPeriod;
    Report([&] {
      std::vector<std::string> standing;
      for (const LastingCondition* place :
           {&machine_data_condition_, &summary_condition_, &facts_condition_}) {
        if (auto reported = place->Reported()) standing.push_back(std::move(*reported));
      }
      return HeartbeatEvent(days, refresh_no_caption_, ChangeCount, machine_data_.native_path(),
                            standing);
    });
  }
  ArmTimerForHeartbeatAlone(now);
}

// A refresh stopped for good (an interval of 0 or less) leaves the timer to the heartbeat: its
// ticks then run no pass, since ORDEX is alive and should say so.
void Form1::ArmTimerForHeartbeatAlone(std::chrono::steady_clock::time_point now) {
  if (TimerInterval >= kLowestRunningTimerInterval) return;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_heartbeat_ - now).count();
  machine_.View().SetTimerInterval(static_cast<std::int32_t>(std::max<long long>(wait, 1)));
}

void Form1::CountChange() {
  if (ChangeCount == std::numeric_limits<std::int32_t>::max()) {
    throw Error("the change counter leaves the 32-bit range");
  }
  ++ChangeCount;
  last_change_ = machine_.WallClock();
  ShowChangeCount();
  Report([&] {
    return ChangedEvent(Saved.ExAxNum, Current.ExAxNum, ChangeCount, machine_data_.native_path());
  });
}

void Form1::AdvanceRefreshNo() {
  long long number = 0;
  const char* first = refresh_no_caption_.data();
  const char* last = first + refresh_no_caption_.size();
  const auto [end, ec] = std::from_chars(first, last, number);
  if (ec != std::errc{} || end != last || number == std::numeric_limits<long long>::max()) {
    throw Error("the refresh counter '" + refresh_no_caption_ + "' cannot be advanced");
  }
  char buffer[24];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, number + 1).ptr;
  refresh_no_caption_.assign(buffer, written);
  Show(Control::RefreshNo, refresh_no_caption_);
}

void Form1::ShowChangeCount() {
  Show(Control::Changes, std::to_string(ChangeCount) + " Changes since start");
}

void Form1::ApplyVisibility() { machine_.View().SetVisible(Visible != 0); }

void Form1::Show(Control control, std::string_view text) {
  machine_.View().SetText(ControlIndex(control), LineBreaksAsSpaces(text));
}

RegistryAccess& Form1::Registry() {
  if (!registry_) registry_ = machine_.CreateRegistry();
  return *registry_;
}

void Form1::EndWithError(std::string_view message, int status) {
  machine_.ReportFatalError(message);
  machine_.View().Quit(status);
}

}  // namespace ordex
