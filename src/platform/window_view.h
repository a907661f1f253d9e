#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string_view>

namespace ordex {

// One row of a form: a caption label and, beside it, a text box whose text the program sets.
struct FormRow {
  std::string_view label_name;
  std::string_view caption;
  int label_width;
  int top;  // of the text box; the label sits FormLayout::label_drop below it
};

// A label of the status row whose text the program sets.
struct StatusLabel {
  std::string_view name;
  std::string_view initial_text;
  int left;
  int width;
};

// A form's design as a view builds it: a caption, a client area, rows of a caption label and a
// text box, then one status row of labels. Positions and sizes are in twips from the client
// area's top-left corner. The form itself is described by its owner; a view only references the
// description, which must outlive it.
struct FormLayout {
  std::string_view caption;
  int client_width;
  int client_height;
  int label_left, label_height, label_drop;
  int text_box_left, text_box_width, text_box_height;
  std::span<const FormRow> rows;
  int status_top, status_height;
  std::span<const StatusLabel> status;

  // The controls whose text changes are numbered from 0: the rows' text boxes in order, then
  // the status labels.
  constexpr std::size_t control_count() const { return rows.size() + status.size(); }
};

// How an event loop came to its end, other than by Quit. kClosedForUpdate: ORDEX's own package
// closes every ORDEX before it replaces or removes the program (on Windows the machine-wide
// event of platform/close_for_update_win32.h; no other platform has it).
enum class EndReason { kWindowClosed, kEndOfSession, kStopRequest, kClosedForUpdate };

// Thrown out of WindowView::Pause when the window is asked to end (closed, the session ending, a
// stop request) before the pause is over: whatever waited stops where it is.
class EndRequested : public std::exception {
 public:
  explicit EndRequested(EndReason reason) : reason_(reason) {}
  EndReason reason() const { return reason_; }
  const char* what() const noexcept override { return "the window was asked to end"; }

 private:
  EndReason reason_;
};

// What a view's event loop calls on every tick of the form's timer, and once when the loop is
// about to end by itself.
class TickListener {
 public:
  virtual void OnTick() = 0;

  // The window was closed, the user's session ends (the process may be ended right after this
  // returns), a stop was asked for (an installer closing the program for an update; on POSIX
  // SIGINT or SIGTERM), or ORDEX's package closes it for an update. Not called after Quit.
  virtual void OnEnd(EndReason) {}

 protected:
  ~TickListener() = default;
};

// A form's window and the event loop it lives in; the form's timer belongs to it. All calls
// come from the one thread that runs the loop. Texts are in the 8-bit code page.
class WindowView {
 public:
  virtual ~WindowView() = default;

  // `control` is a number below FormLayout::control_count().
  virtual void SetText(std::size_t control, std::string_view text) = 0;
  virtual void SetVisible(bool visible) = 0;

  // Sets the timer's period; the next tick comes one period after this call (or, when the timer
  // runs with this period already, may keep its rhythm). 0 or less stops it.
  virtual void SetTimerInterval(std::int32_t interval_ms) = 0;

  // From now on `listener` hears of an end asked for before Run too (during a pause), inside the
  // handling of the request: Windows may end the process as soon as its WM_ENDSESSION has been
  // handled, so what is to be said of an end must be said there. Run is given the same listener.
  virtual void Listen(TickListener& listener) = 0;

  // Runs the event loop, calling `listener` on every tick, until the window is closed, Quit is
  // called, (POSIX) SIGINT or SIGTERM arrives, or (Windows) the package's close signal is set. A
  // tick always runs to its end before the next event is handled. Returns the exit status: 0, or
  // the one given to Quit.
  virtual int Run(TickListener& listener) = 0;

  // Makes Run return `status` once the current event has been handled.
  virtual void Quit(int status) = 0;

  // Waits `pause` before Run, while the window goes on answering: the system's and other
  // programs' messages are handled (a window that stops answering looks hung, and holds up a
  // session's end and an installer's close), and the timer does not tick. When the window is
  // asked to end meanwhile (or was before), throws EndRequested at once, once the listener given
  // to Listen (if any) has been told of the end; Run then returns 0 at once without telling it
  // again. After Quit it returns at once.
  virtual void Pause(std::chrono::milliseconds pause) = 0;
};

// The window of the platform the program runs on, built to `layout`: on POSIX an FLTK window
// when a display can be opened, otherwise the terminal text view.
std::unique_ptr<WindowView> CreateWindowView(const FormLayout& layout);

}  // namespace ordex
