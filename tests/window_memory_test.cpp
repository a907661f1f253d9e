#include "platform/window_memory.h"

#include <memory>

#include "window_view_contract.h"

namespace ordex::testing {
namespace {

struct MemoryBackend {
  std::unique_ptr<WindowView> Create(const FormLayout& layout) {
    auto view = std::make_unique<MemoryWindowView>(layout);
    view->ticks_to_run = 100;
    view_ = view.get();
    return view;
  }
  std::string Shown(std::size_t control) const { return view_->Text(control); }
  bool Visible() const { return view_->visible(); }
  void CloseSoon() { view_->RequestEnd(EndReason::kWindowClosed); }

  MemoryWindowView* view_ = nullptr;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, WindowViewContract, MemoryBackend);

}  // namespace
}  // namespace ordex::testing
