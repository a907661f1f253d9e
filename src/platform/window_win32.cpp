#include "platform/window_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/close_for_update_win32.h"
#include "platform/error_win32.h"
#include "platform/system.h"
#include "platform/unique_handle_win32.h"
#include "platform/window_state.h"

namespace ordex {
namespace {

constexpr UINT_PTR kTimer1Id = 1;
constexpr int kTwipsPerInch = 1440;
constexpr int kDefaultDpi = 96;
// The form's font: 8 points, scaled to the window's DPI, of the logical face that Windows maps to
// the shell font of the PC's language. "Your application should not hard-code font names" and
// "MS Shell Dlg maps to the default shell font associated with the current culture/locale"
// ("Using MS Shell Dlg and MS Shell Dlg 2"); that is "typically Microsoft Sans Serif, 8 point"
// (SystemFonts.DefaultFont), the TrueType face with the metrics of the bitmap "MS Sans Serif"
// the layout was drawn in, which jumps between its few sizes where TrueType scales.
constexpr int kFontPoints = 8;
constexpr char kFontFace[] = "MS Shell Dlg";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;
// The least space between a caption that had to grow and its text box.
constexpr int kCaptionGapTwips = 60;
// Sent by Windows 8.1 and later when the window moves to a monitor of another DPI.
constexpr UINT kWmDpiChanged = 0x02E0;

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// Functions of newer Windows versions are looked up at run time, so that the program still
// starts on the older controller PCs that lack them.
template <typename Function>
Function User32Function(const char* name) {
  const HMODULE user32 = ::GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return nullptr;
  const FARPROC address = ::GetProcAddress(user32, name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// The package's close signal, opened (or created) before the window is made. A view that cannot
// open it runs all the same and says so once: an update then waits its time for this ORDEX and
// ends it by force.
UniqueHandle WatchCloseForUpdate() {
  UniqueHandle signal = OpenOrCreateCloseForUpdateEvent(SYNCHRONIZE);
  if (!signal.valid()) {
    const Error error = Win32Error("cannot open the update's close signal",
                                   "Global\\ORDEX.CloseForUpdate", ::GetLastError());
    ReportWarning(std::string(error.what()) + "; an update ends this ORDEX by force");
  }
  return signal;
}

struct Twips {
  int left, top, width, height;
};

struct Placed {
  HWND window;
  Twips place;
  // How wide the control may grow when its text does not fit its width in the window's font;
  // place.width for controls that keep their width.
  int room_width;
};

class Win32WindowView : public WindowView {
 public:
  explicit Win32WindowView(const FormLayout& layout)
      : state_(layout), close_for_update_(WatchCloseForUpdate()) {}
  ~Win32WindowView() override;
  Win32WindowView(const Win32WindowView&) = delete;
  Win32WindowView& operator=(const Win32WindowView&) = delete;

  void SetText(std::size_t control, std::string_view text) override;
  void SetVisible(bool visible) override;
  void SetTimerInterval(std::int32_t interval_ms) override;
  void Listen(TickListener& listener) override { state_.Listen(listener); }
  int Run(TickListener& listener) override;
  void Quit(int status) override;
  void Pause(std::chrono::milliseconds pause) override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Dispatch(MSG& message);
  bool HandleWaitingMessages();
  void WaitForInput(DWORD timeout_ms);
  HWND Window();
  void Create();
  // An end that the loop did not ask for: the listener hears why, once, then the loop ends.
  void EndBy(EndReason reason);
  void Tick();
  void ShowOrHide(bool visible);
  bool IsTextBox(HWND window) const;
  HWND AddControl(const char* window_class, std::string_view text, DWORD style, int id, Twips place,
                  int room_width = 0);
  int FittedWidth(const Placed& placed, HFONT font) const;
  void CreateControls();
  UINT CurrentDpi() const;
  void ApplyDpi(UINT dpi);
  int Pixels(int twips) const { return ::MulDiv(twips, static_cast<int>(dpi_), kTwipsPerInch); }
  void SizeToClientArea();

  WindowState state_;
  UniqueHandle close_for_update_;
  bool close_for_update_told_ = false;
  HINSTANCE instance_ = ::GetModuleHandleA(nullptr);
  bool created_ = false;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = kDefaultDpi;
  std::vector<Placed> placed_;
  std::vector<HWND> controls_;  // by the layout's control number
  // Texts kept while the window was hidden, not yet in their controls.
  std::vector<bool> unshown_texts_ = std::vector<bool>(state_.control_count());
  bool shown_ = false;
  std::int32_t timer_interval_ms_ = 0;  // 0: the timer is stopped
  TickListener* listener_ = nullptr;
  std::exception_ptr tick_failure_;
};

// The window is made at its first use, so that a second instance, refused before it touches
// the view, never creates one.
HWND Win32WindowView::Window() {
  if (!created_) {
    created_ = true;
    Create();
  }
  return window_;
}

void Win32WindowView::Create() {
  INITCOMMONCONTROLSEX common_controls = {sizeof common_controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&common_controls);

  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &Win32WindowView::WindowProcedure;
  window_class.hInstance = instance_;
  window_class.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hIcon = ::LoadIconA(instance_, MAKEINTRESOURCEA(kWin32IconResource));
  window_class.hIconSm = static_cast<HICON>(
      ::LoadImageA(instance_, MAKEINTRESOURCEA(kWin32IconResource), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = kWin32WindowClass;
  if (!::RegisterClassExA(&window_class) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw Win32Error("cannot register the window class", kWin32WindowClass, ::GetLastError());
  }
  const std::string caption(state_.layout().caption);
  window_ = ::CreateWindowExA(kWindowExStyle, kWin32WindowClass, caption.c_str(), kWindowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance_, this);
  if (window_ == nullptr) {
    throw Win32Error("cannot create the window", caption, ::GetLastError());
  }
  CreateControls();
  ApplyDpi(CurrentDpi());
  SizeToClientArea();
}

Win32WindowView::~Win32WindowView() {
  if (window_ != nullptr) {
    ::KillTimer(window_, kTimer1Id);
    ::DestroyWindow(window_);
  }
  if (font_ != nullptr) ::DeleteObject(font_);
  ::UnregisterClassA(kWin32WindowClass, instance_);
}

HWND Win32WindowView::AddControl(const char* window_class, std::string_view text, DWORD style,
                                 int id, Twips place, int room_width) {
  const std::string initial(text);
  const HWND control = ::CreateWindowExA(
      0, window_class, initial.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (control == nullptr) throw Win32Error("cannot create the control", initial, ::GetLastError());
  placed_.push_back({control, place, std::max(room_width, place.width)});
  return control;
}

void Win32WindowView::CreateControls() {
  // One line per label: where a font runs wider than the one the layout was made for, the end
  // of a caption is cut rather than wrapped into a second line that the label's height hides.
  constexpr DWORD kLabelStyle = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
  // Text boxes: read-only, yet selectable and copyable, reached with the Tab key.
  constexpr DWORD kTextBoxStyle = WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
  const FormLayout& layout = state_.layout();
  for (std::size_t row = 0; row < layout.rows.size(); ++row) {
    const FormRow& design = layout.rows[row];
    // A caption keeps its width unless its text does not fit; it may then grow up to its text
    // box, which is where the design leaves room: a smaller font would make it the odd one out.
    AddControl("STATIC", design.caption, kLabelStyle, Win32LabelId(row),
               {layout.label_left, design.top + layout.label_drop, design.label_width,
                layout.label_height},
               layout.text_box_left - layout.label_left - kCaptionGapTwips);
    controls_.push_back(AddControl(
        "EDIT", state_.Text(row), kTextBoxStyle, Win32ControlId(row),
        {layout.text_box_left, design.top, layout.text_box_width, layout.text_box_height}));
  }
  for (std::size_t i = 0; i < layout.status.size(); ++i) {
    const std::size_t control = layout.rows.size() + i;
    controls_.push_back(AddControl(
        "STATIC", state_.Text(control), kLabelStyle, Win32ControlId(control),
        {layout.status[i].left, layout.status_top, layout.status[i].width, layout.status_height}));
  }
}

UINT Win32WindowView::CurrentDpi() const {
  static const auto get_dpi_for_window = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (get_dpi_for_window != nullptr) {
    if (const UINT dpi = get_dpi_for_window(window_); dpi != 0) return dpi;
  }
  const HDC screen = ::GetDC(window_);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ::ReleaseDC(window_, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

// Places every control and sets the font for `dpi`; the window's own size is the caller's.
void Win32WindowView::ApplyDpi(UINT dpi) {
  dpi_ = dpi;
  const HFONT font =
      ::CreateFontA(-::MulDiv(kFontPoints, static_cast<int>(dpi_), 72), 0, 0, 0, FW_NORMAL, FALSE,
                    FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace);
  for (const Placed& placed : placed_) {
    ::SetWindowPos(placed.window, nullptr, Pixels(placed.place.left), Pixels(placed.place.top),
                   FittedWidth(placed, font), Pixels(placed.place.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (font != nullptr)
      ::SendMessageA(placed.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font != nullptr) {
    if (font_ != nullptr) ::DeleteObject(font_);
    font_ = font;
  }
}

// The width in pixels that shows the whole text of a control that may grow, in `font`: its
// design width when the text fits it, else as much as the text needs, up to its room.
int Win32WindowView::FittedWidth(const Placed& placed, HFONT font) const {
  const int design = Pixels(placed.place.width);
  if (placed.room_width == placed.place.width || font == nullptr) return design;
  char text[256] = {};
  const int length = ::GetWindowTextA(placed.window, text, sizeof text);
  const HDC dc = ::GetDC(placed.window);
  if (dc == nullptr) return design;
  const HGDIOBJ previous = ::SelectObject(dc, font);
  SIZE extent = {};
  const BOOL measured = ::GetTextExtentPoint32A(dc, text, length, &extent);
  ::SelectObject(dc, previous);
  ::ReleaseDC(placed.window, dc);
  if (!measured) return design;
  return std::clamp(static_cast<int>(extent.cx), design, Pixels(placed.room_width));
}

void Win32WindowView::SizeToClientArea() {
  RECT frame = {0, 0, Pixels(state_.layout().client_width), Pixels(state_.layout().client_height)};
  static const auto adjust_for_dpi =
      User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
  if (adjust_for_dpi != nullptr) {
    adjust_for_dpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi_);
  } else {
    ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  }
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A hidden window's controls get their texts when it is shown: a pass of a hidden program sets
// the refresh number, and that must not cost a call to the system that nobody sees.
void Win32WindowView::SetText(std::size_t control, std::string_view text) {
  Window();
  if (!state_.SetText(control, text)) return;
  if (shown_) {
    ::SetWindowTextA(controls_[control], state_.Text(control).c_str());
  } else {
    unshown_texts_[control] = true;
  }
}

void Win32WindowView::SetVisible(bool visible) {
  Window();  // made at the first use
  if (visible) {
    for (std::size_t control = 0; control < controls_.size(); ++control) {
      if (!unshown_texts_[control]) continue;
      unshown_texts_[control] = false;
      ::SetWindowTextA(controls_[control], state_.Text(control).c_str());
    }
  }
  ShowOrHide(visible);
}

// "nCmdShow ... is ignored the first time an application calls ShowWindow, if the program that
// launched the application provides a STARTUPINFO structure" (ShowWindow): a first call that
// hides might show the window as the launcher asked. The window is made without WS_VISIBLE, so a
// window not shown needs no call to stay hidden, and the first call ORDEX makes is one that
// shows it. Should the launcher's command take its place (a start hidden), the next pass finds
// the window not visible and asks again.
void Win32WindowView::ShowOrHide(bool visible) {
  shown_ = visible;
  if ((::IsWindowVisible(window_) != FALSE) == visible) return;
  // SW_SHOWNA: a tool that appears on a timer must not take the focus from the operator.
  ::ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32WindowView::SetTimerInterval(std::int32_t interval_ms) {
  // SetTimer would turn 0 into its 10 ms minimum; an interval of 0 or less stops the timer.
  const HWND window = Window();
  if (interval_ms <= 0) {
    ::KillTimer(window, kTimer1Id);
    timer_interval_ms_ = 0;
    return;
  }
  // The period the timer runs with already: setting it again would only start the period anew,
  // at the cost of a call to the system on every pass that applies its setting.
  if (interval_ms == timer_interval_ms_) return;
  if (::SetTimer(window, kTimer1Id, static_cast<UINT>(interval_ms), nullptr) == 0) {
    throw Win32Error("cannot set the timer of", state_.layout().caption, ::GetLastError());
  }
  timer_interval_ms_ = interval_ms;
}

int Win32WindowView::Run(TickListener& listener) {
  if (state_.TellRequestedEnd(listener)) return 0;
  listener_ = &listener;
  Window();
  // Not GetMessage: having handled a message sent by another thread or program it would go on
  // waiting for a posted one, deaf to the close signal.
  MSG message;
  for (;;) {
    if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      WaitForInput(INFINITE);
      continue;
    }
    if (message.message == WM_QUIT) break;
    Dispatch(message);
  }
  listener_ = nullptr;
  if (tick_failure_) std::rethrow_exception(std::exchange(tick_failure_, nullptr));
  return state_.quit_status();
}

void Win32WindowView::Dispatch(MSG& message) {
  if (window_ != nullptr && ::IsDialogMessageA(window_, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageA(&message);
}

// Windows calls an application "not responding" when it has not called PeekMessage for 5 seconds
// (IsHungAppWindow); meanwhile other programs' SendMessage to it waits (a broadcast to every
// top-level window waits for all), and so do the session's end and the Restart Manager's close
// (WM_QUERYENDSESSION, WM_ENDSESSION). So the pause waits for messages and the close signal
// (WaitForInput) and handles every message as it comes. The window is made first, hidden: a
// program that pauses before it has set any text (an ORDEX waiting for another to end) has no
// other top-level window to which the session's end and the Restart Manager's close are sent.
void Win32WindowView::Pause(std::chrono::milliseconds pause) {
  using Clock = std::chrono::steady_clock;
  Window();
  const auto deadline = Clock::now() + pause;
  while (!state_.quit_requested()) {
    const bool quit_met = !HandleWaitingMessages();
    state_.ThrowIfEndRequested();
    if (quit_met) return;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    WaitForInput(static_cast<DWORD>(left.count()));
  }
}

// Waits until a message arrives or `timeout_ms` has passed, and meanwhile for the package's
// close signal: set, it ends the window as a close does (EndBy), once; it stays set until the
// package resets it, so it is not waited on again.
void Win32WindowView::WaitForInput(DWORD timeout_ms) {
  const bool watch = close_for_update_.valid() && !close_for_update_told_;
  const HANDLE signal = close_for_update_.get();
  // MWMO_INPUTAVAILABLE: also wakes for messages that arrived before the wait began.
  const DWORD woken = ::MsgWaitForMultipleObjectsEx(watch ? 1 : 0, watch ? &signal : nullptr,
                                                    timeout_ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (woken == WAIT_FAILED) {
    throw Win32Error("cannot wait for the messages of", state_.layout().caption, ::GetLastError());
  }
  if (watch && woken == WAIT_OBJECT_0) {
    close_for_update_told_ = true;
    EndBy(EndReason::kClosedForUpdate);
  }
}

// Handles the messages waiting for the thread; PeekMessage also delivers the messages other
// threads and programs send. False when it meets the quit message, which it leaves for Run.
bool Win32WindowView::HandleWaitingMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    Dispatch(message);
  }
  return true;
}

void Win32WindowView::Quit(int status) {
  // The quit message is posted once; the first status stands.
  if (state_.quit_requested()) return;
  state_.RequestQuit(status);
  if (window_ != nullptr) ::KillTimer(window_, kTimer1Id);
  timer_interval_ms_ = 0;
  ::PostQuitMessage(0);
}

void Win32WindowView::EndBy(EndReason reason) {
  if (state_.quit_requested()) return;
  if (listener_ == nullptr) {
    // A pause, before the loop: the listener given to Listen hears of the end here, while the
    // message is handled ("the session can end any time after all applications have returned
    // from processing this message", WM_ENDSESSION), and the pause throws once it has been.
    state_.RequestEnd(reason);
    return;
  }
  listener_->OnEnd(reason);
  Quit(0);
}

void Win32WindowView::Tick() {
  if (listener_ == nullptr || state_.quit_requested()) return;
  // An exception must not unwind through the system's frames around the window procedure; it
  // ends the loop and leaves Run from there.
  try {
    listener_->OnTick();
  } catch (...) {
    tick_failure_ = std::current_exception();
    Quit(1);
  }
}

bool Win32WindowView::IsTextBox(HWND window) const {
  for (std::size_t control = 0; control < controls_.size(); ++control) {
    if (controls_[control] == window) return state_.IsTextBox(control);
  }
  return false;
}

LRESULT CALLBACK Win32WindowView::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    auto* view = static_cast<Win32WindowView*>(create->lpCreateParams);
    view->window_ = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
  }
  auto* view = reinterpret_cast<Win32WindowView*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (view == nullptr) return ::DefWindowProcA(window, message, wparam, lparam);
  return view->HandleMessage(message, wparam, lparam);
}

LRESULT Win32WindowView::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND window = window_;
  switch (message) {
    case WM_TIMER:
      if (wparam == kTimer1Id) {
        Tick();
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // Read-only text boxes are drawn like the static controls; they keep the look of a text
      // box so that the values stand out from their captions.
      if (IsTextBox(reinterpret_cast<HWND>(lparam))) {
        const HDC dc = reinterpret_cast<HDC>(wparam);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case kWmDpiChanged: {
      // The message carries the window's new rectangle; one without it (sent by another
      // program, or a faulty driver) is ignored rather than followed into a null pointer.
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      if (suggested == nullptr) return 0;
      ApplyDpi(HIWORD(wparam));
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      ShowOrHide(false);
      EndBy(EndReason::kWindowClosed);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // Nothing is saved at the end; the session may end the process right after this, so
      // the listener hears of it here and not when the loop has ended. An installer that
      // closes ORDEX for an update (the Restart Manager) asks it to stop; the session goes on.
      if (wparam != FALSE) {
        EndBy((lparam & ENDSESSION_CLOSEAPP) != 0 ? EndReason::kStopRequest
                                                  : EndReason::kEndOfSession);
      }
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

std::unique_ptr<WindowView> CreateWindowView(const FormLayout& layout) {
  return std::make_unique<Win32WindowView>(layout);
}

}  // namespace ordex
