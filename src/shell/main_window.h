#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "collectors/controller_info.h"
#include "collectors/ex_ax_num.h"
#include "platform/window_view.h"
#include "registry/registry_access.h"
#include "shell/form1_layout.h"

namespace ordex {

class FileAccess;
class InstanceLock;

inline constexpr std::string_view VersionKey = "SOFTWARE\\Tarvex Roboter GmbH\\Version";
inline constexpr std::string_view SettingsKey =
    "SOFTWARE\\Tarvex Roboter GmbH\\Tarvex PANO\\Customer Preferences\\ZT\\Service\\ORDEX";

inline constexpr std::string_view kNotAvailable = "Not Available";
inline constexpr std::string_view kDefaultInstallDir = "C:\\XOC";
inline constexpr std::int32_t kDefaultTimerInterval = 10000;
inline constexpr std::int32_t kDefaultVisible = 0;

// How long start-up tries again an input or summary file that another program holds open.
inline constexpr std::chrono::seconds kStartUpBusyPatience{10};
inline constexpr std::chrono::milliseconds kStartUpBusyPause{200};

// What the main window needs from the machine; main() fills it with the platform's own, tests
// with stand-ins.
struct Form1Services {
  const FileAccess& files;
  WindowView& view;
  std::function<std::unique_ptr<RegistryAccess>()> create_registry;
  std::function<std::unique_ptr<InstanceLock>()> claim_single_instance;
  void (*query_computer_name)(char* buffer, std::uint32_t& size);
  char decimal_separator;
  void (*report_fatal_error)(std::string_view message);
  // A condition that lasts without ending the program, reported once when it begins.
  void (*report_warning)(std::string_view message) = [](std::string_view) {};
  // Start-up's clock and pause while it waits for a busy file.
  std::function<std::chrono::steady_clock::time_point()> now = &std::chrono::steady_clock::now;
  std::function<void(std::chrono::milliseconds)> sleep = [](std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
  };
};

// The main window: its state, the start-up sequence (Form_Load) and the refresh cycle run by
// Timer1. The window state fields keep their design names and are public, plain data.
class Form1 {
 public:
  enum class LoadResult { kRunning, kAnotherInstance, kFailed };

  explicit Form1(Form1Services services);
  ~Form1();

  // Start-up, then the event loop; returns the program's exit status.
  int Run();

  // The load handler. On an error it reports the message and returns kFailed; nothing after
  // the failing step runs.
  LoadResult Form_Load();

  // Timer1's tick: one refresh pass. On an error it reports the message and ends the event
  // loop with status 1.
  void Timer1_Timer();

  std::int32_t TimerInterval = 0;
  std::int32_t Visible = 0;
  std::string InstallDir;
  std::string MachineDataPath;
  std::int32_t ChangeCount = 0;
  ControllerInfo Current;
  ControllerInfo Saved;

  std::string_view RefreshNoCaption() const { return refresh_no_caption_; }

 private:
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
  void ReadSetting(std::string_view value_name, std::int32_t& value, std::int32_t default_value);
  void Show(Control control, std::string_view text);
  void ShowChangeCount();
  void AdvanceRefreshNo();
  void ApplyVisibility();
  void EndWithError(std::string_view message, int status);

  Form1Services services_;
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

// The host-name probe: a buffer of 255 spaces handed to `query`, trimmed of spaces and cut at
// the first NUL.
std::string ProbeComputerName(void (*query)(char* buffer, std::uint32_t& size));

}  // namespace ordex
