#include "app/run_form1.h"

#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "platform/file_access.h"
#include "platform/machine.h"
#include "platform/system.h"
#include "platform/window_view.h"
#include "registry/registry_access.h"
#include "shell/form1_layout.h"
#include "shell/main_window.h"

namespace ordex {
namespace {

// The machine the program runs on, from the backends this platform was built with.
class SystemMachine : public Machine {
 public:
  // `instance` is the one-instance claim already held; ClaimSingleInstance hands it over.
  explicit SystemMachine(std::unique_ptr<InstanceLock> instance)
      : instance_(std::move(instance)),
        files_(CreateFileAccess()),
        view_(CreateWindowView(kForm1Layout)),
        decimal_separator_(SystemDecimalSeparator()) {}

  const FileAccess& Files() override { return *files_; }
  WindowView& View() override { return *view_; }
  std::unique_ptr<RegistryAccess> CreateRegistry() override { return CreateRegistryAccess(); }
  std::unique_ptr<InstanceLock> ClaimSingleInstance() override { return std::move(instance_); }
  void QueryComputerName(char* buffer, std::uint32_t& size) override {
    ordex::QueryComputerName(buffer, size);
  }
  char DecimalSeparator() override { return decimal_separator_; }
  void ReportFatalError(std::string_view message) override { ordex::ReportFatalError(message); }
  void LogEvent(const Event& event) override { ordex::LogEvent(event); }
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  std::chrono::system_clock::time_point WallClock() override {
    return std::chrono::system_clock::now();
  }
  void Sleep(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }

 private:
  std::unique_ptr<InstanceLock> instance_;
  std::unique_ptr<FileAccess> files_;
  std::unique_ptr<WindowView> view_;
  char decimal_separator_;
};

}  // namespace

// Errors from creating the window or from its event loop, outside start-up's and the refresh
// pass's own error traps, still end the program with one line and a failure status.
int RunForm1() {
  try {
    // The one-instance test comes first, before the window: a refused start loads no window
    // toolkit and opens no display. Form_Load's claim then takes over the lock held here.
    auto instance = ClaimSingleInstance(RegistryStoreLocation());
    if (!instance) return 0;
    SystemMachine machine(std::move(instance));
    Form1 form(machine);
    return form.Run();
  } catch (const std::exception& e) {
    ReportFatalError(e.what());
    return 1;
  }
}

}  // namespace ordex
