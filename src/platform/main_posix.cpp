#include <clocale>

#include "platform/file_access.h"
#include "platform/system.h"
#include "platform/window_view.h"
#include "registry/registry_access.h"
#include "shell/main_window.h"

int main() {
  // Numbers are shown with the decimal separator of the user's locale.
  std::setlocale(LC_NUMERIC, "");
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
