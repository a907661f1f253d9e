#pragma once

#include <exception>
#include <utility>

#include "platform/file_access.h"
#include "platform/system.h"
#include "platform/window_view.h"
#include "registry/registry_access.h"
#include "shell/main_window.h"

namespace ordex {

// Creates the main window with this platform's services and runs it; returns the exit status.
// Errors from creating the window or from its event loop, outside start-up's and the refresh
// pass's own error traps, still end the program with one line and a failure status.
inline int RunForm1() {
  try {
    // The one-instance test comes first, before the window: a refused start loads no window
    // toolkit and opens no display. Form_Load's claim then takes over the lock held here.
    auto instance = ClaimSingleInstance(RegistryStoreLocation());
    if (!instance) return 0;
    const auto files = CreateFileAccess();
    const auto view = CreateWindowView(kForm1Layout);
    Form1 form({
        .files = *files,
        .view = *view,
        .create_registry = &CreateRegistryAccess,
        .claim_single_instance = [&instance] { return std::move(instance); },
        .query_computer_name = &QueryComputerName,
        .decimal_separator = SystemDecimalSeparator(),
        .report_fatal_error = &ReportFatalError,
        .report_warning = &ReportWarning,
    });
    return form.Run();
  } catch (const std::exception& e) {
    ReportFatalError(e.what());
    return 1;
  }
}

}  // namespace ordex
