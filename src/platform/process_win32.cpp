#include "platform/process_win32.h"

#include <windows.h>

#include <cstdlib>
#include <exception>

// Of kernel32 (Windows Vista and later), declared here since MinGW-w64's werapi.h does not
// compile on its own.
extern "C" HRESULT WINAPI WerSetFlags(DWORD flags);

namespace ordex {
namespace {

// WER_FAULT_REPORTING_FLAG_QUEUE of werapi.h, which MinGW-w64's lacks.
constexpr DWORD kWerFaultReportingFlagQueue = 0x2;

}  // namespace

void KeepSystemDialogsAway() {
  // Not SEM_NOGPFAULTERRORBOX: that flag keeps a crash from Windows Error Reporting altogether,
  // and a fleet administrator collects crashes there. Its dialog is turned off below instead.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Only a flag the WerSetFlags page lists: WER_FAULT_REPORTING_FLAG_QUEUE, "Queue critical
  // reports for the specified process. This does not show any UI." (WerGetFlags). The crash is
  // still reported: Windows writes its Application Error event and keeps the report in the queue.
  ::WerSetFlags(kWerFaultReportingFlagQueue);
  // In a GUI program the C runtime shows its fatal messages in a message box by default.
  _set_error_mode(_OUT_TO_STDERR);
  // The runtime's abort ends the process with status 3 and no report; a fail-fast exception
  // goes to Windows Error Reporting as a crash, which it is.
  std::set_terminate([] { ::RaiseFailFastException(nullptr, nullptr, 0); });
}

void RegisterRestartAfterUpdate() {
  // No command line: the program takes none. The registration only counts after the program
  // has run for 60 seconds, which ORDEX, running for a whole session, always has.
  ::RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT);
}

}  // namespace ordex
