#include <clocale>
#include <exception>

#include "platform/file_access.h"
#include "platform/system.h"
#include "platform/window_view.h"
#include "registry/registry_access.h"
#include "shell/main_window.h"

namespace {

int RunOrdex() {
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

int main() {
  // Numbers are shown with the decimal separator of the user's locale.
  std::setlocale(LC_NUMERIC, "");
  // What fails before start-up's own error trap (the window's set-up, the one-instance claim)
  // still ends with one line and a failure status, not with an abort.
  try {
    return RunOrdex();
  } catch (const std::exception& e) {
    ordex::ReportFatalError(e.what());
    return 1;
  }
}
