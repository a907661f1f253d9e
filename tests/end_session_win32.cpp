// Asks the running ORDEX to close the way Windows Installer does through the Restart Manager
// before it replaces a program's files, for the Windows test script: WM_QUERYENDSESSION with
// ENDSESSION_CLOSEAPP, then WM_ENDSESSION, then WM_CLOSE if the process still runs. Prints each
// answer and how the process ended; exits with 0 once it has ended, 2 when there is no window,
// 3 when the program refuses or outlives the whole sequence.
#include <windows.h>

#include <cstdio>

#include "platform/window_win32.h"

namespace {

constexpr UINT kAnswerMs = 5000;
constexpr DWORD kEndMs = 5000;

LRESULT SendToWindow(HWND window, UINT message, WPARAM wparam) {
  DWORD_PTR answer = 0;
  if (::SendMessageTimeoutA(window, message, wparam, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG,
                            kAnswerMs, &answer) == 0) {
    std::printf("no answer (error %lu)\n", ::GetLastError());
    return 0;
  }
  return static_cast<LRESULT>(answer);
}

}  // namespace

int main() {
  const HWND window = ::FindWindowA(ordex::kWin32WindowClass, nullptr);
  if (window == nullptr) {
    std::printf("no window of class %s\n", ordex::kWin32WindowClass);
    return 2;
  }
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);

  const LRESULT agreed = SendToWindow(window, WM_QUERYENDSESSION, 0);
  std::printf("WM_QUERYENDSESSION answered %s\n", agreed ? "TRUE" : "FALSE");
  if (!agreed) return 3;
  SendToWindow(window, WM_ENDSESSION, TRUE);
  if (::WaitForSingleObject(process, kEndMs) == WAIT_OBJECT_0) {
    std::printf("ended after WM_ENDSESSION\n");
    return 0;
  }
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  const bool ended = ::WaitForSingleObject(process, kEndMs) == WAIT_OBJECT_0;
  std::printf(ended ? "ended after WM_CLOSE\n" : "still running after WM_CLOSE\n");
  return ended ? 0 : 3;
}
