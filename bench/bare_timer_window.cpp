// The least a Windows program can do for ORDEX's watch, for scripts/bench-windows.sh: a window
// that is never shown, with a timer whose every tick looks at the machine data file's attributes
// and does nothing else. ORDEX's cost is set against it.
//
//   bare_timer_window PATH [INTERVAL_MS]     (100 ms when not given)
//
// It runs until it is ended.
#include <windows.h>

#include <cstdlib>

namespace {

const char* g_path = nullptr;
FILETIME g_last_write = {};

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER: {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (::GetFileAttributesExA(g_path, GetFileExInfoStandard, &data)) {
        g_last_write = data.ftLastWriteTime;
      }
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  g_path = argv[1];
  const UINT interval = argc > 2 ? static_cast<UINT>(std::atoi(argv[2])) : 100;
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &WindowProcedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = "BareTimerWindow";
  if (!::RegisterClassA(&window_class)) return 1;
  const HWND window = ::CreateWindowExA(
      0, window_class.lpszClassName, "bare timer window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr || ::SetTimer(window, 1, interval, nullptr) == 0) return 1;
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return 0;
}
