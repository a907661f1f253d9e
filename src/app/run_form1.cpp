#include "app/run_form1.h"

#include <exception>
#include <memory>
#include <utility>

#include "app/machine_system.h"
#include "ordex_version.h"
#include "platform/system.h"
#include "platform/window_view.h"
#include "registry/registry.h"
#include "shell/form1_layout.h"
#include "shell/main_window.h"

namespace ordex {

// Errors from creating the window or from its event loop, outside start-up's and the refresh
// pass's own error traps, still end the program with one line and a failure status.
int RunForm1() {
  try {
    // The one-instance test comes first, before the window: a refused start loads no window
    // toolkit and opens no display. Form_Load's claim then takes over the lock held here.
    auto instance = ClaimSingleInstance(RegistryStoreLocation());
    if (!instance) return 0;
    const auto view = CreateWindowView(kForm1Layout);
    SystemMachine machine(std::move(instance), *view, ORDEX_VERSION_TEXT);
    Form1 form(machine);
    return form.Run();
  } catch (const std::exception& e) {
    ReportFatalError(e.what());
    return 1;
  }
}

}  // namespace ordex
