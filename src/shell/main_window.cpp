#include "shell/main_window.h"

#include <charconv>
#include <exception>
#include <limits>
#include <type_traits>
#include <utility>

#include "collectors/ex_ax_num.h"
#include "collectors/ipo_time.h"
#include "collectors/sensor_driver.h"
#include "core/error.h"
#include "core/text.h"
#include "platform/file_access.h"
#include "report/summary_file.h"
#include "shell/form1_events.h"

namespace ordex {
namespace {

// How often start-up reads a machine data file again that changes while it is read.
constexpr int kStartUpReadAttempts = 20;

FileStatus StatusOf(const OpenedFile& file) { return file.status; }
FileStatus StatusOf(FileStatus status) { return status; }

// Start-up's patience with files that another program holds for a moment (the controller saving,
// a collector reading): each open or rewrite that meets a busy file is tried again until
// kStartUpBusyPatience has passed; a file busy for longer is the failure it would be otherwise.
class BusyWaitingFiles : public FileAccess {
 public:
  explicit BusyWaitingFiles(Machine& machine) : machine_(machine) {}

  std::string NativePath(std::string_view target_path) const override {
    return machine_.Files().NativePath(target_path);
  }
  std::optional<FileTime> ModificationTime(const std::string& native_path) const override {
    return machine_.Files().ModificationTime(native_path);
  }
  OpenedFile TryOpenForReading(const std::string& native_path) const override {
    return WhenFree(native_path, [&] { return machine_.Files().TryOpenForReading(native_path); });
  }
  FileStatus TryRewriteFile(const std::string& native_path,
                            std::string_view content) const override {
    return WhenFree(native_path,
                    [&] { return machine_.Files().TryRewriteFile(native_path, content); });
  }
  FileStatus ReplaceAtomically(const std::string& native_path,
                               std::string_view content) const override {
    return WhenFree(native_path,
                    [&] { return machine_.Files().ReplaceAtomically(native_path, content); });
  }
  Error MissingFileError(const std::string& native_path) const override {
    return machine_.Files().MissingFileError(native_path);
  }

 private:
  template <typename Attempt>
  std::invoke_result_t<Attempt> WhenFree(const std::string& native_path, Attempt attempt) const {
    const auto deadline = machine_.Now() + kStartUpBusyPatience;
    for (;;) {
      auto result = attempt();
      if (StatusOf(result) != FileStatus::kBusy) return result;
      if (machine_.Now() >= deadline) throw BusyFileError(native_path);
      machine_.Sleep(kStartUpBusyPause);
    }
  }

  Machine& machine_;
};

}  // namespace

std::string ProbeComputerName(Machine& machine) {
  std::string buffer(255, ' ');
  std::uint32_t size = 255;
  machine.QueryComputerName(buffer.data(), size);
  std::string name(TrimSpaces(buffer));
  if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
  return name;
}

Form1::Form1(Machine& machine)
    : machine_(machine), start_up_files_(std::make_unique<BusyWaitingFiles>(machine)) {}

Form1::~Form1() = default;

int Form1::Run() {
  switch (Form_Load()) {
    case LoadResult::kAnotherInstance:
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
    StartUp();
  } catch (const std::exception& e) {
    machine_.ReportFatalError(e.what());
    return LoadResult::kFailed;
  }
  Report([&] {
    const std::string summary =
        machine_.Files().NativePath(InstallDir + std::string(kSummaryRelativePath));
    return StartedEvent(Current, summary);
  });
  return LoadResult::kRunning;
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

// Each of the two settings comes from the policy key where it holds a number (Group Policy
// steers a fleet), else from the settings key (the technician's), else, at start-up, from its
// default; a pass keeps the value a setting had when neither key has one. However a value was
// written (a DWORD, a QWORD, a number as text), one that reads is never overwritten.
void Form1::ReadSettings(bool at_start_up) {
  DwordRead reads[] = {{PolicyKey, kTimerIntervalName},
                       {SettingsKey, kTimerIntervalName},
                       {PolicyKey, kVisibleName},
                       {SettingsKey, kVisibleName}};
  Registry().ReadDwords(HKEY_LOCAL_MACHINE_ROOT, reads);
  const struct {
    std::int32_t& value;
    std::int32_t default_value;
    const DwordRead& policy;
    const DwordRead& setting;
  } settings[] = {{TimerInterval, kDefaultTimerInterval, reads[0], reads[1]},
                  {Visible, kDefaultVisible, reads[2], reads[3]}};
  for (const auto& setting : settings) {
    if (setting.policy.ok) {
      setting.value = setting.policy.value;
    } else if (setting.setting.ok) {
      setting.value = setting.setting.value;
    } else if (at_start_up) {
      setting.value = setting.default_value;
    }
    if (!at_start_up || setting.setting.ok) continue;
    // Written back, into the settings key only, so that a technician finds the setting to
    // change; a store this user may not write is no reason to stop.
    bool written = false;
    Registry().WriteDword(HKEY_LOCAL_MACHINE_ROOT, SettingsKey, setting.setting.value_name,
                          setting.default_value, written);
  }
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
  machine_data_native_path_ = machine_.Files().NativePath(MachineDataPath);
  for (int attempt = 0; attempt < kStartUpReadAttempts; ++attempt) {
    if (auto reading = ReadExAxNum(*start_up_files_, machine_data_native_path_)) {
      fileTime = reading->time;
      return std::move(reading->ex_ax_num);
    }
    if (!machine_.Files().ModificationTime(machine_data_native_path_)) {
      throw machine_.Files().MissingFileError(machine_data_native_path_);
    }
  }
  throw Error(machine_data_native_path_ + " keeps changing while it is read");
}

std::string Form1::GetSensorInfo(std::string& driverVersion) {
  SensorInfo info = ReadSensorInfo(*start_up_files_, InstallDir);
  if (info.driver_version) driverVersion = std::move(*info.driver_version);
  return std::move(info.sensor);
}

// Start-up's write: a summary file busy for longer than start-up waits has thrown.
void Form1::WriteInfoFile() { WriteSummaryFile(*start_up_files_, InstallDir, Current); }

void Form1::Timer1_Timer() {
  try {
    RefreshCycle();
  } catch (const std::exception& e) {
    EndWithError(e.what(), 1);
  }
}

void Form1::RefreshCycle() {
  const bool changed = TakeInMachineData();
  if (changed || summary_pending_) WriteInfoFileWhenFree();
  if (changed) CountChange();
  AdvanceRefreshNo();
  ReadSettings(false);
  machine_.View().SetTimerInterval(TimerInterval);
  ApplyVisibility();
  Saved = Current;
}

// Shows a new reading of the machine data file when its time stamp has moved; tells whether
// its count differs from Saved. A file that cannot be used just now is looked at again on the
// next pass, and Current keeps its values until a whole reading arrives: one that cannot be
// examined, opened or read for any reason (held by another program, no permission, a folder in
// its place) is reported once when that begins, for it may last.
bool Form1::TakeInMachineData() {
  std::optional<MachineDataReading> reading;
  try {
    reading = ReadTouchedMachineData();
  } catch (const Error& e) {
    if (!std::exchange(machine_data_unreadable_, true)) {
      machine_.ReportWarning(std::string(e.what()) + "; looking again on every pass");
    }
    return false;
  }
  machine_data_unreadable_ = false;
  if (!reading) return false;
  Current.ExAxNum = std::move(reading->ex_ax_num);
  Current.MachineDataTime = reading->time;
  Show(Control::txtExAxNum, Current.ExAxNum);
  return Current.ExAxNum != Saved.ExAxNum;
}

// A new reading, or nothing when the time stamp has not moved or the file is, for a moment,
// missing (saved by rename, or deleted and written anew), empty or changing while it is read.
std::optional<MachineDataReading> Form1::ReadTouchedMachineData() {
  auto time = machine_.Files().ModificationTime(machine_data_native_path_);
  if (!time) {
    // A folder renamed to another case maps to another native path.
    machine_data_native_path_ = machine_.Files().NativePath(MachineDataPath);
    return std::nullopt;
  }
  if (*time == Current.MachineDataTime) return std::nullopt;
  auto reading = ReadExAxNum(machine_.Files(), machine_data_native_path_);
  // An empty file is one being saved in place (truncated, not yet written): it holds no count
  // worth showing or counting.
  if (!reading || reading->empty_file) return std::nullopt;
  return reading;
}

// The summary gets the latest values as soon as no other program holds it; until then the
// write stays pending and is tried again on every pass. Other failures end the program.
void Form1::WriteInfoFileWhenFree() {
  const bool busy = WriteSummaryFile(machine_.Files(), InstallDir, Current) == FileStatus::kBusy;
  if (busy && !summary_pending_) {
    const std::string path =
        machine_.Files().NativePath(InstallDir + std::string(kSummaryRelativePath));
    machine_.ReportWarning(std::string(BusyFileError(path).what()) +
                           "; writing it again on every pass");
  }
  summary_pending_ = busy;
}

void Form1::CountChange() {
  if (ChangeCount == std::numeric_limits<std::int32_t>::max()) {
    throw Error("the change counter leaves the 32-bit range");
  }
  ++ChangeCount;
  ShowChangeCount();
  Report([&] {
    return ChangedEvent(Saved.ExAxNum, Current.ExAxNum, ChangeCount, machine_data_native_path_);
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
