#include <windows.h>

#include <exception>

#include "platform/file_access.h"
#include "platform/system.h"
#include "platform/window_view.h"
#include "registry/registry_access.h"
#include "shell/main_window.h"

namespace {

int RunForm1() {
  const auto files = ordex::CreateFileAccess();
  const auto view = ordex::CreateWindowView();
  ordex::Form1 form({
      .files = *files,
      .view = *view,
      .create_registry = &ordex::CreateRegistryAccess,
      .claim_single_instance =
          [] { return ordex::ClaimSingleInstance(ordex::RegistryStoreLocation()); },
      .query_computer_name = &ordex::QueryComputerName,
      .decimal_separator = ordex::SystemDecimalSeparator(),
      .report_fatal_error = &ordex::ReportFatalError,
  });
  return form.Run();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Errors from creating the window or from its message loop end the program like any other
  // run-time error: a non-zero status and one line on the debugger output.
  try {
    return RunForm1();
  } catch (const std::exception& e) {
    ordex::ReportFatalError(e.what());
    return 1;
  }
}
