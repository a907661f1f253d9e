#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Output.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "core/codepage.h"
#include "platform/stop_signals_posix.h"
#include "platform/window_posix.h"
#include "platform/window_state.h"

namespace ordex {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr float kDesignDpi = 96.0f;
constexpr double kFontPoints = 8.0;  // the target's default dialog font
constexpr int kLabelInset = 3;

// A label draws "@name" as one of FLTK's symbols; "@@" is a plain '@'.
std::string LabelText(std::string_view text) {
  std::string label;
  for (const char c : text) {
    if (c == '@') label += '@';
    label += c;
  }
  return label;
}

// Converts twips to pixels at the screen's resolution. X servers report nonsense for some
// screens (a virtual framebuffer, a projector); outside sane bounds the design's 96 dpi holds.
class Scale {
 public:
  explicit Scale(const FormLayout& layout) {
    float horizontal = 0, vertical = 0;
    Fl::screen_dpi(horizontal, vertical);
    x_dpi_ = Sane(horizontal);
    y_dpi_ = Sane(vertical);
    font_size_ = FittingFontSize(layout);
  }
  int X(int twips) const { return Pixels(twips, x_dpi_); }
  int Y(int twips) const { return Pixels(twips, y_dpi_); }
  int FontSize() const { return font_size_; }

 private:
  static float Sane(float dpi) { return dpi >= 48.0f && dpi <= 480.0f ? dpi : kDesignDpi; }
  static int Pixels(int twips, float dpi) {
    return static_cast<int>(std::lround(twips * static_cast<double>(dpi) / kTwipsPerInch));
  }
  // The target's dialog font size, made smaller while a caption would not fit its label: the
  // toolkit's sans-serif font runs wider than the target's.
  int FittingFontSize(const FormLayout& layout) const {
    int size = static_cast<int>(std::lround(kFontPoints * y_dpi_ / 72.0));
    for (; size > 6; --size) {
      fl_font(FL_HELVETICA, size);
      bool fits = true;
      for (const FormRow& row : layout.rows) {
        fits = fits && fl_width(Cp1252ToUtf8(row.caption).c_str()) <= X(row.label_width);
      }
      if (fits) break;
    }
    return size;
  }

  float x_dpi_;
  float y_dpi_;
  int font_size_;
};

// The main window as an FLTK window. The widgets are made when the window is first shown, so a
// program that stays hidden (the usual case) never builds them; texts set while the window is
// hidden are kept, in the 8-bit code page, and converted only when it is shown.
class FltkWindowView : public WindowView {
 public:
  explicit FltkWindowView(const FormLayout& layout) : state_(layout) {
    Fl::add_fd(stop_signals_.fd(), FL_READ, &OnStopSignal, this);
  }

  ~FltkWindowView() override {
    Fl::remove_timeout(&OnTimeout, this);
    Fl::remove_idle(&WakeUp, this);
    Fl::remove_fd(stop_signals_.fd());
    delete window_;  // deletes its children too
  }

  void SetText(std::size_t control, std::string_view text) override {
    if (!state_.SetText(control, text)) return;
    // A hidden window's widgets are brought up to date when it is shown again: a pass of a
    // hidden program must not pay for labels nobody sees.
    if (window_ && window_->visible()) ShowText(control);
  }

  void SetVisible(bool visible) override {
    if (visible) {
      if (!window_) {
        Build();
      } else if (!window_->visible()) {
        ShowAllTexts();
      }
      window_->show();
    } else if (window_) {
      window_->hide();
    }
  }

  void SetTimerInterval(std::int32_t interval_ms) override {
    Fl::remove_timeout(&OnTimeout, this);
    rearmed_ = true;
    period_s_ = interval_ms > 0 ? interval_ms / 1000.0 : 0.0;
    if (period_s_ > 0) Fl::add_timeout(period_s_, &OnTimeout, this);
  }

  void Listen(TickListener& listener) override { state_.Listen(listener); }

  int Run(TickListener& listener) override {
    if (state_.TellRequestedEnd(listener)) return 0;
    listener_ = &listener;
    // Fl::run() would return as soon as no window is shown; the program runs on hidden.
    while (!state_.quit_requested() && !stop_signals_.Requested()) Fl::wait(1e20);
    listener_ = nullptr;
    Fl::remove_idle(&WakeUp, this);
    if (state_.quit_requested()) return state_.quit_status();
    stop_signals_.Clear();
    listener.OnEnd(EndReason::kStopRequest);
    return 0;
  }

  void Quit(int status) override {
    state_.RequestQuit(status);
    // Fl::wait runs due timeouts (a tick among them) before it blocks, and would then sleep
    // until the next event (a timeout added now would run in the same round). While an idle
    // callback exists it does not block.
    if (!Fl::has_idle(&WakeUp, this)) Fl::add_idle(&WakeUp, this);
  }

  void Pause(std::chrono::milliseconds pause) override {
    const auto deadline = std::chrono::steady_clock::now() + pause;
    while (!state_.quit_requested()) {
      if (stop_signals_.Requested()) {
        stop_signals_.Clear();
        state_.RequestEnd(EndReason::kStopRequest);
      }
      state_.ThrowIfEndRequested();
      const std::chrono::duration<double> left = deadline - std::chrono::steady_clock::now();
      if (left.count() <= 0) return;
      Fl::wait(left.count());
    }
  }

 private:
  static void WakeUp(void*) {}

  static void OnTimeout(void* view) { static_cast<FltkWindowView*>(view)->Tick(); }

  static void OnStopSignal(FL_SOCKET, void*) {
    // Nothing to do: Fl::wait returns after this and the loop sees the request.
  }

  static void OnClose(Fl_Widget*, void* view) {
    // FLTK also calls the window's callback for the Escape key; a window without a cancel
    // button ignores it.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    static_cast<FltkWindowView*>(view)->EndBy(EndReason::kWindowClosed);
  }

  // An end that the loop did not ask for: the listener hears why, once, then the loop ends.
  // Outside the loop (a pause) it is kept for the pause to throw.
  void EndBy(EndReason reason) {
    if (state_.quit_requested()) return;
    if (!listener_) {
      state_.RequestEnd(reason);
      return;
    }
    listener_->OnEnd(reason);
    Quit(0);
  }

  void Tick() {
    // A tick that arms the timer again gets a timeout from which FLTK takes off how late this
    // tick came; one that is then due at once runs in the same round of Fl::wait, after a Quit
    // in this tick, unless it is refused here.
    if (state_.quit_requested()) return;
    if (!listener_) {
      // Due during a pause, before the loop runs: skipped, and the period kept.
      if (period_s_ > 0) Fl::repeat_timeout(period_s_, &OnTimeout, this);
      return;
    }
    rearmed_ = false;
    listener_->OnTick();
    // Unless the tick set a new interval, keep the steady period that repeat_timeout gives.
    if (!rearmed_ && period_s_ > 0) Fl::repeat_timeout(period_s_, &OnTimeout, this);
  }

  void Build() {
    const FormLayout& layout = state_.layout();
    const Scale scale(layout);
    window_ = new Fl_Double_Window(scale.X(layout.client_width), scale.Y(layout.client_height));
    window_->copy_label(Cp1252ToUtf8(layout.caption).c_str());
    window_->callback(&OnClose, this);
    for (const FormRow& row : layout.rows) {
      Fl_Box* label = MakeLabel(scale, layout.label_left, row.top + layout.label_drop,
                                row.label_width, layout.label_height, Cp1252ToUtf8(row.caption));
      label->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
      auto* box = new Fl_Output(scale.X(layout.text_box_left), scale.Y(row.top),
                                scale.X(layout.text_box_width), scale.Y(layout.text_box_height));
      box->textsize(scale.FontSize());
      text_boxes_.push_back(box);
    }
    for (const StatusLabel& status : layout.status) {
      status_labels_.push_back(
          MakeLabel(scale, status.left, layout.status_top, status.width, layout.status_height, {}));
    }
    window_->end();
    ShowAllTexts();
  }

  void ShowAllTexts() {
    for (std::size_t i = 0; i < state_.control_count(); ++i) ShowText(i);
  }

  static Fl_Box* MakeLabel(const Scale& scale, int left, int top, int width, int height,
                           const std::string& text) {
    // FLTK draws a left-aligned label 3 pixels in from each side; the box is that much wider so
    // that the text starts where the layout puts the label.
    auto* label = new Fl_Box(scale.X(left) - kLabelInset, scale.Y(top),
                             scale.X(width) + 2 * kLabelInset, scale.Y(height));
    label->box(FL_NO_BOX);
    label->labelsize(scale.FontSize());
    label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    if (!text.empty()) label->copy_label(LabelText(text).c_str());
    return label;
  }

  void ShowText(std::size_t control) {
    const std::string text = Cp1252ToUtf8(state_.Text(control));
    if (state_.IsTextBox(control)) {
      text_boxes_[control]->value(text.c_str(), static_cast<int>(text.size()));
    } else {
      status_labels_[control - text_boxes_.size()]->copy_label(LabelText(text).c_str());
    }
  }

  WindowState state_;
  StopSignals stop_signals_;
  Fl_Double_Window* window_ = nullptr;
  std::vector<Fl_Output*> text_boxes_;  // owned by window_, as are the labels
  std::vector<Fl_Box*> status_labels_;
  double period_s_ = 0;
  bool rearmed_ = false;
  TickListener* listener_ = nullptr;
};

}  // namespace

// The display is opened here rather than by FLTK, which would end the program over a missing
// one; without a display the caller falls back to the text view.
extern "C" __attribute__((visibility("default"))) WindowView* OrdexCreateFltkView(
    const FormLayout* layout) {
  if (!fl_display) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    fl_open_display(display);
  }
  return new FltkWindowView(*layout);
}

}  // namespace ordex
