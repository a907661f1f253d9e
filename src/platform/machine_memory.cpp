#include "platform/machine_memory.h"

#include <cstring>
#include <new>
#include <utility>

namespace ordex {

// Gives the claim back when it goes, even after the machine (the flag is shared with it).
class MemoryMachine::Lock : public InstanceLock {
 public:
  explicit Lock(std::shared_ptr<bool> claimed) : claimed_(std::move(claimed)) { *claimed_ = true; }
  ~Lock() override { *claimed_ = false; }

 private:
  std::shared_ptr<bool> claimed_;
};

std::unique_ptr<InstanceLock> MemoryMachine::ClaimSingleInstance() {
  if (*claimed_) return nullptr;
  return std::make_unique<Lock>(claimed_);
}

// As GetComputerNameA answers: the name and its NUL, the rest of the buffer untouched; a buffer
// too small gets nothing and `size` the room needed.
void MemoryMachine::QueryComputerName(char* buffer, std::uint32_t& size) {
  const auto length = static_cast<std::uint32_t>(computer_name.size());
  if (length >= size) {
    size = length + 1;
    return;
  }
  std::memcpy(buffer, computer_name.c_str(), length + 1);
  size = length;
}

void MemoryMachine::LogEvent(const Event& event) {
  if (events_fail) return;
  try {
    events.push_back({event.id,
                      event.level,
                      {event.strings.begin(), event.strings.end()},
                      std::string(event.line)});
  } catch (const std::bad_alloc&) {
    // Out of memory for the record: the event is lost, as the real machines lose it.
  }
}

void MemoryMachine::Sleep(std::chrono::milliseconds pause) {
  now += pause;
  if (on_sleep) on_sleep();
  view_.Pause(pause);
}

}  // namespace ordex
