// Asks the running ORDEX to close the way Windows Installer does through the Restart Manager
// before it replaces a program's files, for the Windows test script: WM_QUERYENDSESSION with
// ENDSESSION_CLOSEAPP, then WM_ENDSESSION, then WM_CLOSE if the process still runs. With
// --logoff it ends the user's session instead (ENDSESSION_LOGOFF) and, as Windows may ("the
// session can end any time after all applications have returned from processing this
// message", WM_ENDSESSION), ends the process the moment its WM_ENDSESSION returns. Waits up to
// 30 s for the window to appear (ORDEX may be starting). Prints each answer with the time it
// took, and how the process ended; exits with 0 once it has ended, 2 when there is no window,
// 3 when the program refuses or outlives the whole sequence.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/window_win32.h"

namespace {

constexpr UINT kAnswerMs = 5000;
constexpr DWORD kEndMs = 5000;
constexpr int kWindowWaitMs = 30000;
constexpr int kWindowPollMs = 100;
// The status of the process ended as the session ends: none that ORDEX itself ends with.
constexpr UINT kEndedBySession = 99;

LRESULT SendToWindow(HWND window, UINT message, WPARAM wparam, LPARAM how) {
  DWORD_PTR answer = 0;
  if (::SendMessageTimeoutA(window, message, wparam, how, SMTO_ABORTIFHUNG, kAnswerMs, &answer) ==
      0) {
    std::printf("no answer (error %lu)\n", ::GetLastError());
    return 0;
  }
  return static_cast<LRESULT>(answer);
}

unsigned long MsSince(ULONGLONG start) {
  return static_cast<unsigned long>(::GetTickCount64() - start);
}

HWND FindOrdexWindow() {
  for (int waited = 0;; waited += kWindowPollMs) {
    const HWND window = ::FindWindowA(ordex::kWin32WindowClass, nullptr);
    if (window != nullptr || waited >= kWindowWaitMs) return window;
    ::Sleep(kWindowPollMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool logoff = argc > 1 && std::strcmp(argv[1], "--logoff") == 0;
  const LPARAM how = logoff ? ENDSESSION_LOGOFF : ENDSESSION_CLOSEAPP;
  const HWND window = FindOrdexWindow();
  if (window == nullptr) {
    std::printf("no window of class %s\n", ordex::kWin32WindowClass);
    return 2;
  }
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process_id);

  const ULONGLONG asked = ::GetTickCount64();
  const LRESULT agreed = SendToWindow(window, WM_QUERYENDSESSION, 0, how);
  std::printf("WM_QUERYENDSESSION answered %s in %lu ms\n", agreed ? "TRUE" : "FALSE",
              MsSince(asked));
  if (!agreed) return 3;
  const ULONGLONG ending = ::GetTickCount64();
  SendToWindow(window, WM_ENDSESSION, TRUE, how);
  if (logoff) {
    const bool ended = ::TerminateProcess(process, kEndedBySession) != 0;
    std::printf(ended ? "ended as WM_ENDSESSION returned\n" : "could not end it (error %lu)\n",
                ::GetLastError());
    return ended ? 0 : 3;
  }
  if (::WaitForSingleObject(process, kEndMs) == WAIT_OBJECT_0) {
    std::printf("ended %lu ms after WM_ENDSESSION\n", MsSince(ending));
    return 0;
  }
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  const bool ended = ::WaitForSingleObject(process, kEndMs) == WAIT_OBJECT_0;
  std::printf(ended ? "ended after WM_CLOSE\n" : "still running after WM_CLOSE\n");
  return ended ? 0 : 3;
}
