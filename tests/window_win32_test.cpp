// The Win32 main window: layout at the window's DPI, texts, visibility, Timer1 and the ways the
// event loop ends. Needs a display (Xvfb under Wine in CI); without one the tests are skipped.
#include "platform/window_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "core/error.h"
#include "import_patch_win32.h"
#include "platform/close_for_update_win32.h"
#include "running_on_wine_win32.h"
#include "shell/form1_layout.h"
#include "window_view_contract.h"

namespace ordex {
namespace {

using testing::Ticks;

HWND g_close_target = nullptr;

void CALLBACK PostCloseLater(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  ::PostMessageA(g_close_target, WM_CLOSE, 0, 0);
}

UINT DpiOf(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  const auto get_dpi = reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (get_dpi != nullptr) return get_dpi(window);
  const HDC screen = ::GetDC(window);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(window, screen);
  return static_cast<UINT>(dpi);
}

// The Win32 window, looked at through its child windows.
class Win32Backend {
 public:
  std::unique_ptr<WindowView> Create(const FormLayout& layout) {
    auto view = CreateWindowView(layout);
    try {
      view->SetVisible(false);  // the window is made at the first call
    } catch (const Error&) {
      return nullptr;  // no display
    }
    window_ = ::FindWindowA(kWin32WindowClass, std::string(layout.caption).c_str());
    return view;
  }

  bool Visible() const { return ::IsWindowVisible(window_) != FALSE; }

  std::string Shown(std::size_t control) const {
    char text[256] = {};
    ::GetWindowTextA(::GetDlgItem(window_, Win32ControlId(control)), text, sizeof text);
    return text;
  }

  void CloseSoon() {
    g_close_target = window_;
    ::SetTimer(nullptr, 0, 300, &PostCloseLater);
  }

 private:
  HWND window_ = nullptr;
};

}  // namespace

namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, WindowViewContract, Win32Backend);
}  // namespace testing

namespace {

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = CreateWindowView(kForm1Layout);
    // The window is made at the first call.
    EXPECT_EQ(::FindWindowA(kWin32WindowClass, "ORDEX"), nullptr);
    try {
      view_->SetVisible(false);
    } catch (const Error& e) {
      GTEST_SKIP() << "no display: " << e.what();
    }
    window_ = ::FindWindowA(kWin32WindowClass, "ORDEX");
    ASSERT_NE(window_, nullptr);
    dpi_ = DpiOf(window_);
  }

  int Pixels(int twips) const { return ::MulDiv(twips, static_cast<int>(dpi_), 1440); }

  // A child's rectangle in client coordinates.
  RECT ChildRect(int id) const {
    RECT rect = {};
    const HWND child = ::GetDlgItem(window_, id);
    EXPECT_NE(child, nullptr) << id;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  void ExpectPlacedAt(int id, int left, int top, int width, int height) const {
    const RECT rect = ChildRect(id);
    EXPECT_EQ(rect.left, Pixels(left));
    EXPECT_EQ(rect.top, Pixels(top));
    EXPECT_EQ(rect.right - rect.left, Pixels(width));
    EXPECT_EQ(rect.bottom - rect.top, Pixels(height));
  }

  // The width of a control's text in the font the control uses, in pixels.
  int TextWidth(int id) const {
    const std::string text = TextOf(id);
    SIZE extent = {};
    InFontOf(id, [&](HDC dc) {
      ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    });
    return extent.cx;
  }

  // The metrics and the face of the font a control draws its text in.
  TEXTMETRICA FontMetricsOf(int id) const {
    TEXTMETRICA metrics = {};
    InFontOf(id, [&](HDC dc) { EXPECT_TRUE(::GetTextMetricsA(dc, &metrics)) << id; });
    return metrics;
  }
  std::string FaceOf(int id) const {
    char face[LF_FACESIZE] = {};
    InFontOf(id, [&](HDC dc) { ::GetTextFaceA(dc, sizeof face, face); });
    return face;
  }
  template <typename Look>
  void InFontOf(int id, const Look& look) const {
    const HWND control = ::GetDlgItem(window_, id);
    const HDC dc = ::GetDC(control);
    const HGDIOBJ previous =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    look(dc);
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
  }

  std::string TextOf(int id) const {
    char text[256] = {};
    ::GetWindowTextA(::GetDlgItem(window_, id), text, sizeof text);
    return text;
  }

  std::unique_ptr<WindowView> view_;
  HWND window_ = nullptr;
  UINT dpi_ = 96;
};

TEST_F(Win32WindowTest, StartsHiddenWithTheClientAreaInTwipsAtTheWindowsDpi) {
  EXPECT_FALSE(::IsWindowVisible(window_));
  RECT client = {};
  ::GetClientRect(window_, &client);
  EXPECT_EQ(client.right, Pixels(kForm1Layout.client_width));
  EXPECT_EQ(client.bottom, Pixels(kForm1Layout.client_height));
}

TEST_F(Win32WindowTest, RowsAndStatusRowSitAtTheirTwips) {
  const FormLayout& form = kForm1Layout;
  for (std::size_t row = 0; row < form.rows.size(); ++row) {
    const FormRow& design = form.rows[row];
    SCOPED_TRACE(std::string(design.label_name));
    // A caption whose text does not fit its width grows (below); the others keep the design.
    const RECT label = ChildRect(Win32LabelId(row));
    if (TextWidth(Win32LabelId(row)) <= Pixels(design.label_width)) {
      ExpectPlacedAt(Win32LabelId(row), form.label_left, design.top + form.label_drop,
                     design.label_width, form.label_height);
    } else {
      EXPECT_EQ(label.left, Pixels(form.label_left));
      EXPECT_EQ(label.top, Pixels(design.top + form.label_drop));
      EXPECT_EQ(label.bottom - label.top, Pixels(form.label_height));
    }
    ExpectPlacedAt(Win32ControlId(row), form.text_box_left, design.top, form.text_box_width,
                   form.text_box_height);
    EXPECT_EQ(TextOf(Win32LabelId(row)), design.caption);
  }
  for (std::size_t i = 0; i < form.status.size(); ++i) {
    SCOPED_TRACE(std::string(form.status[i].name));
    ExpectPlacedAt(Win32ControlId(form.rows.size() + i), form.status[i].left, form.status_top,
                   form.status[i].width, form.status_height);
  }
}

// A font that scales: TrueType, 8 points at the window's DPI (a bitmap font has a few sizes and
// takes the nearest), in every control. Run by the Windows tests at 96, 120, 144 and 192 dpi.
TEST_F(Win32WindowTest, TheFontIsTrueTypeOfEightPointsAtTheWindowsDpi) {
  for (const int id :
       {Win32LabelId(0), Win32ControlId(0), Win32ControlId(kForm1Layout.rows.size())}) {
    const TEXTMETRICA metrics = FontMetricsOf(id);
    EXPECT_NE(metrics.tmPitchAndFamily & TMPF_TRUETYPE, 0) << id;
    // The em height in whole pixels, as the rasterizer rounds the face's ascent and descent.
    EXPECT_NEAR(metrics.tmHeight - metrics.tmInternalLeading,
                ::MulDiv(8, static_cast<int>(dpi_), 72), 1)
        << id << " at " << dpi_ << " dpi";
  }
}

// The window's face is the one this PC shows "MS Shell Dlg" in, as its font substitutes name it
// ("Microsoft Sans Serif" on a Western Windows): the dialog font of the PC's language.
using Win32DialogFontTest = Win32WindowTest;
TEST_F(Win32DialogFontTest, IsTheFaceThePcShowsItsDialogsIn) {
  if (testing::RunningOnWine()) {
    GTEST_SKIP() << "Wine shows \"MS Shell Dlg\" in a host font of its own, not in the face its "
                    "font substitutes name (Windows: GDI takes the substitute)";
  }
  char substitute[LF_FACESIZE] = {};
  DWORD size = sizeof substitute;
  ASSERT_EQ(::RegGetValueA(HKEY_LOCAL_MACHINE,
                           "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
                           "MS Shell Dlg", RRF_RT_REG_SZ, nullptr, substitute, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(FaceOf(Win32LabelId(0)), substitute);
}

// Run by the Windows tests at 96, 120, 144 and 192 dpi.
TEST_F(Win32WindowTest, EveryCaptionShowsItsWholeTextBesideItsTextBox) {
  for (std::size_t row = 0; row < kForm1Layout.rows.size(); ++row) {
    const int label = Win32LabelId(row);
    RECT client = {};
    ::GetClientRect(::GetDlgItem(window_, label), &client);
    const int text_width = TextWidth(label);
    SCOPED_TRACE(TextOf(label) + " at " + std::to_string(dpi_) + " dpi: text " +
                 std::to_string(text_width) + " pixels, label " + std::to_string(client.right));
    EXPECT_LE(text_width, client.right);
    EXPECT_LT(ChildRect(label).right, ChildRect(Win32ControlId(row)).left);
  }
}

TEST_F(Win32WindowTest, DpiChangeWithoutARectangleIsIgnored) {
  const RECT before = ChildRect(Win32ControlId(ControlIndex(Control::Changes)));
  EXPECT_EQ(::SendMessageA(window_, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192), 0), 0);
  const RECT after = ChildRect(Win32ControlId(ControlIndex(Control::Changes)));
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.right, before.right);
}

TEST_F(Win32WindowTest, TextBoxesAreReadOnlyEditControls) {
  for (std::size_t row = 0; row < kForm1Layout.rows.size(); ++row) {
    const HWND box = ::GetDlgItem(window_, Win32ControlId(row));
    char window_class[32] = {};
    ::GetClassNameA(box, window_class, sizeof window_class);
    EXPECT_STRCASEEQ(window_class, "Edit");
    EXPECT_TRUE(::GetWindowLongA(box, GWL_STYLE) & ES_READONLY);
  }
}

// A hidden window's controls get their texts only when it is shown: a hidden program's passes
// make no call for them.
TEST_F(Win32WindowTest, SetTextShowsEightBitTextInItsControlOnceTheWindowIsShown) {
  const std::string text = "Zusatz-Achsen \xB5 \xE4";
  const int axes = Win32ControlId(ControlIndex(Control::txtExAxNum));
  view_->SetText(ControlIndex(Control::txtExAxNum), text);
  EXPECT_EQ(TextOf(axes), "");
  view_->SetVisible(true);
  EXPECT_EQ(TextOf(axes), text);
  view_->SetText(ControlIndex(Control::Changes), "1 Changes since start");
  EXPECT_EQ(TextOf(Win32ControlId(ControlIndex(Control::Changes))), "1 Changes since start");
  EXPECT_EQ(TextOf(Win32ControlId(ControlIndex(Control::txtIPOTime))), "");
}

// "nCmdShow ... is ignored the first time an application calls ShowWindow, if the program that
// launched the application provides a STARTUPINFO structure" (ShowWindow): a window never shown
// is never handed to ShowWindow, however often it is hidden or closed, and the first call shows
// it; a window already as asked gets no call either.
TEST_F(Win32WindowTest, TheFirstShowWindowIsTheOneThatShowsTheWindow) {
  const testing::CallsOf<BOOL, HWND, int> show_window("user32.dll", "ShowWindow");
  view_->SetVisible(false);
  ::SendMessageA(window_, WM_CLOSE, 0, 0);
  view_->SetVisible(false);
  EXPECT_TRUE(show_window.calls().empty());
  view_->SetVisible(true);
  view_->SetVisible(true);
  view_->SetVisible(false);
  EXPECT_EQ(show_window.calls(),
            (std::vector<std::tuple<HWND, int>>{{window_, SW_SHOWNA}, {window_, SW_HIDE}}));
  EXPECT_FALSE(::IsWindowVisible(window_));
}

TEST_F(Win32WindowTest, ClosingTheWindowEndsRunWithZero) {
  Ticks ticks;
  view_->SetVisible(true);
  ::PostMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(view_->Run(ticks), 0);
  EXPECT_FALSE(::IsWindowVisible(window_));
}

TEST_F(Win32WindowTest, EndOfSessionIsAgreedToAndEndsRunWithZero) {
  EXPECT_EQ(::SendMessageA(window_, WM_QUERYENDSESSION, 0, 0), TRUE);
  ::PostMessageA(window_, WM_ENDSESSION, FALSE, 0);  // cancelled: keeps running
  ::PostMessageA(window_, WM_ENDSESSION, TRUE, 0);
  Ticks ticks;
  view_->SetTimerInterval(5000);
  EXPECT_EQ(view_->Run(ticks), 0);
  EXPECT_EQ(ticks.ends, std::vector{EndReason::kEndOfSession}) << "told once, before the end";
}

// The Restart Manager closes ORDEX for an update with the same messages, flagged.
TEST_F(Win32WindowTest, AClosingForAnUpdateIsAStopRequest) {
  ::PostMessageA(window_, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
  Ticks ticks;
  view_->SetTimerInterval(5000);
  EXPECT_EQ(view_->Run(ticks), 0);
  EXPECT_EQ(ticks.ends, std::vector{EndReason::kStopRequest});
}

// The same close sent by another program while start-up pauses: each message is answered at
// once, the listener has heard of the end by the time WM_ENDSESSION is answered (the process
// may be ended right then), and the pause ends as a stop request.
struct InstallerClose {
  HWND window;
  const Ticks& listener;
  DWORD_PTR agreed = FALSE;
  BOOL ended_answered = FALSE;
  std::vector<EndReason> heard_when_answered;
  static DWORD WINAPI Send(void* self) {
    auto& close = *static_cast<InstallerClose*>(self);
    ::Sleep(100);
    ::SendMessageTimeoutA(close.window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                          1000, &close.agreed);
    DWORD_PTR ignored = 0;
    close.ended_answered =
        ::SendMessageTimeoutA(close.window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                              1000, &ignored) != 0;
    close.heard_when_answered = close.listener.ends;
    return 0;
  }
};

TEST_F(Win32WindowTest, AClosingForAnUpdateIsAnsweredDuringAPause) {
  Ticks ticks;
  view_->Listen(ticks);
  InstallerClose close{window_, ticks};
  const HANDLE sender = ::CreateThread(nullptr, 0, &InstallerClose::Send, &close, 0, nullptr);
  ASSERT_NE(sender, nullptr);
  std::optional<EndReason> told;
  try {
    view_->Pause(std::chrono::seconds(10));
  } catch (const EndRequested& end) {
    told = end.reason();
  }
  ::WaitForSingleObject(sender, INFINITE);
  ::CloseHandle(sender);
  EXPECT_EQ(close.agreed, static_cast<DWORD_PTR>(TRUE));
  EXPECT_TRUE(close.ended_answered);
  EXPECT_EQ(close.heard_when_answered, std::vector{EndReason::kStopRequest});
  EXPECT_EQ(told, EndReason::kStopRequest);
}

// The package's close signal, set a moment from now by another program (the package, as
// LocalSystem), and reset when it goes so that no other test meets it set.
class CloseSignalSoon {
 public:
  CloseSignalSoon()
      : signal_(OpenOrCreateCloseForUpdateEvent(EVENT_MODIFY_STATE | SYNCHRONIZE)),
        setter_(::CreateThread(nullptr, 0, &CloseSignalSoon::Set, signal_.get(), 0, nullptr)) {
    EXPECT_TRUE(signal_.valid() && setter_.valid()) << ::GetLastError();
  }
  ~CloseSignalSoon() {
    ::WaitForSingleObject(setter_.get(), INFINITE);
    ::ResetEvent(signal_.get());
  }

 private:
  static DWORD WINAPI Set(void* signal) {
    ::Sleep(100);
    ::SetEvent(signal);
    return 0;
  }
  UniqueHandle signal_;
  UniqueHandle setter_;
};

// Set while the loop waits with no message coming (the next tick is seconds away) or while
// start-up pauses, it ends either at once, told as a close for an update.
TEST_F(Win32WindowTest, ThePackagesCloseSignalEndsTheLoop) {
  Ticks ticks;
  ticks.on_tick = [&](int) { view_->Quit(1); };  // the signal was missed
  view_->SetTimerInterval(5000);
  const auto start = std::chrono::steady_clock::now();
  {
    CloseSignalSoon close;
    EXPECT_EQ(view_->Run(ticks), 0);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(ticks.count(), 0);
  EXPECT_EQ(ticks.ends, std::vector{EndReason::kClosedForUpdate});
}

TEST_F(Win32WindowTest, ThePackagesCloseSignalCutsAPauseShort) {
  std::optional<EndReason> told;
  const auto start = std::chrono::steady_clock::now();
  {
    CloseSignalSoon close;
    try {
      view_->Pause(std::chrono::seconds(10));
    } catch (const EndRequested& end) {
      told = end.reason();
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(told, EndReason::kClosedForUpdate);
}

TEST_F(Win32WindowTest, ErrorEscapingATickLeavesRun) {
  Ticks ticks;
  ticks.on_tick = [](int) { throw std::runtime_error("tick failed"); };
  view_->SetTimerInterval(10);
  EXPECT_THROW(view_->Run(ticks), std::runtime_error);
  EXPECT_EQ(ticks.count(), 1);
}

}  // namespace
}  // namespace ordex
