#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace ordex {

// The controls of the main window whose text changes: the seven value text boxes and the two
// status labels.
enum class Control {
  txtASCIDriverVersion,
  txtRobotController,
  txtBasisrelease,
  txtComputerName,
  txtIPOTime,
  txtExAxNum,
  txtASCIISensor,
  Changes,
  RefreshNo,
};

// The window's layout in twips from the client area's top-left corner.
struct RowLayout {
  std::string_view label_name;
  std::string_view caption;
  Control text_box;
  int label_width;
  int top;  // of the text box; the label sits 120 below it
};

inline constexpr std::string_view kWindowCaption = "ORDEX";
inline constexpr int kClientWidthTwips = 4365;
inline constexpr int kClientHeightTwips = 3555;
inline constexpr int kLabelLeft = 240, kLabelHeight = 255, kLabelDrop = 120;
inline constexpr int kTextBoxLeft = 2280, kTextBoxWidth = 1695, kTextBoxHeight = 285;
inline constexpr int kStatusTop = 2880, kStatusHeight = 255;
inline constexpr int kChangesLeft = 240, kChangesWidth = 2175;
inline constexpr int kRefreshNoLeft = 2520, kRefreshNoWidth = 1455;
inline constexpr std::string_view kChangesInitial = "Changes since start";
inline constexpr std::string_view kRefreshNoInitial = "0";

inline constexpr std::array<RowLayout, 7> kRows = {{
    {"lbASCIIDriverVersion", "ASCII Driver Version:", Control::txtASCIDriverVersion, 1695, 120},
    {"lbRobotController", "Robot Controller:", Control::txtRobotController, 1815, 480},
    {"lbBasisrelease", "Basisrelease Version:", Control::txtBasisrelease, 1815, 840},
    {"lbComputerName", "Computer Name:", Control::txtComputerName, 1815, 1200},
    {"lbIPO_Time", "IPO-Time:", Control::txtIPOTime, 1815, 1560},
    {"lbExAxNum", "Number of external Axes:", Control::txtExAxNum, 1815, 1920},
    {"lbASCISensor", "ASCII-Sensor:", Control::txtASCIISensor, 1815, 2280},
}};

// The main window and the event loop it lives in; `Timer1` belongs to it. All calls come from
// the one thread that runs the loop. Texts are in the 8-bit code page.
class WindowView {
 public:
  virtual ~WindowView() = default;

  virtual void SetText(Control control, std::string_view text) = 0;
  virtual void SetVisible(bool visible) = 0;

  // Sets Timer1's period; the next tick comes one period after this call. 0 or less stops it.
  virtual void SetTimerInterval(std::int32_t interval_ms) = 0;

  // Runs the event loop, calling `on_tick` on every tick, until the window is closed, Quit is
  // called, or (POSIX) SIGINT or SIGTERM arrives. A tick always runs to its end before the next
  // event is handled. Returns the exit status: 0, or the one given to Quit.
  virtual int Run(void (*on_tick)(void* context), void* context) = 0;

  // Makes Run return `status` once the current event has been handled.
  virtual void Quit(int status) = 0;
};

// The window of the platform the program runs on: on POSIX an FLTK window when a display can
// be opened, otherwise the terminal text view.
std::unique_ptr<WindowView> CreateWindowView();

}  // namespace ordex
