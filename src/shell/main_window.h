#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "collectors/controller_info.h"
#include "collectors/ex_ax_num.h"
#include "platform/machine.h"
#include "registry/registry_access.h"
#include "shell/form1_layout.h"

namespace ordex {

inline constexpr std::string_view VersionKey = "SOFTWARE\\Tarvex Roboter GmbH\\Version";
inline constexpr std::string_view SettingsKey =
    "SOFTWARE\\Tarvex Roboter GmbH\\Tarvex PANO\\Customer Preferences\\ZT\\Service\\ORDEX";

// Where a fleet's administrator sets the two settings by Group Policy. A value here that reads
// as a number wins over the settings key's; the program never writes it.
inline constexpr std::string_view PolicyKey = "SOFTWARE\\Policies\\Tarvex Roboter GmbH\\ORDEX";
inline constexpr std::string_view kTimerIntervalName = "TimerInterval";
inline constexpr std::string_view kVisibleName = "Visible";

inline constexpr std::string_view kNotAvailable = "Not Available";
inline constexpr std::string_view kDefaultInstallDir = "C:\\XOC";
inline constexpr std::int32_t kDefaultTimerInterval = 10000;
inline constexpr std::int32_t kDefaultVisible = 0;
// The refresh periods that keep the refresh running; 0 or less stops it for good.
inline constexpr std::int32_t kLowestRunningTimerInterval = 1;

// How long start-up tries again an input or summary file that another program holds open.
inline constexpr std::chrono::seconds kStartUpBusyPatience{10};
inline constexpr std::chrono::milliseconds kStartUpBusyPause{200};

// The main window: its state, the start-up sequence (Form_Load) and the refresh cycle run by
// Timer1. The window state fields keep their design names and are public, plain data. All it
// needs from the machine comes through `machine`, which must outlive it.
class Form1 : private TickListener {
 public:
  enum class LoadResult { kRunning, kAnotherInstance, kFailed };

  explicit Form1(Machine& machine);
  ~Form1();

  // Start-up, then the event loop; returns the program's exit status.
  int Run();

  // The load handler. On an error it reports the message and returns kFailed; nothing after
  // the failing step runs.
  LoadResult Form_Load();

  // Timer1's tick: one refresh pass. On an error it reports the message and ends the event
  // loop with status 1.
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
  void StartUp();
  void LoadSettings();
  std::string GetIpoTime();
  std::string GetExAxNum(FileTime& fileTime);
  std::string GetSensorInfo(std::string& driverVersion);
  void WriteInfoFile();
  void RefreshCycle();
  bool TakeInMachineData();
  std::optional<MachineDataReading> ReadTouchedMachineData();
  void WriteInfoFileWhenFree();
  void CountChange();

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
  // The files as start-up sees them: a busy one is tried again for kStartUpBusyPatience.
  std::unique_ptr<FileAccess> start_up_files_;
  std::unique_ptr<RegistryAccess> registry_;
  std::unique_ptr<InstanceLock> instance_lock_;
  std::string machine_data_native_path_;
  std::string refresh_no_caption_{kRefreshNoInitial};
  // Lasting conditions of the refresh pass, each reported once when it begins.
  bool machine_data_unreadable_ = false;
  bool summary_pending_ = false;
};

// The host-name probe: a buffer of 255 spaces handed to the machine's query, trimmed of spaces
// and cut at the first NUL.
std::string ProbeComputerName(Machine& machine);

}  // namespace ordex
