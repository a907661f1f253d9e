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

// Gives its name back when it goes, unless its holder was killed meanwhile (the name may have a
// new holder by then).
class MemoryMachineWideNames::Lock : public InstanceLock {
 public:
  Lock(std::shared_ptr<MemoryMachineWideNames> names, std::string name, std::uint64_t holder)
      : names_(std::move(names)), name_(std::move(name)), holder_(holder) {}
  ~Lock() override {
    Name& name = names_->names_[name_];
    if (name.holder == holder_) name.holder = 0;
  }

 private:
  std::shared_ptr<MemoryMachineWideNames> names_;
  std::string name_;
  std::uint64_t holder_;
};

MachineWideClaim MemoryMachineWideNames::TryClaim(std::string_view name) {
  Name& entry = names_[std::string(name)];
  if (!entry.squatted.empty()) return {nullptr, entry.squatted};
  if (entry.holder != 0) return {};
  entry.holder = next_holder_++;
  return {std::make_unique<Lock>(shared_from_this(), std::string(name), entry.holder), {}};
}

void MemoryMachineWideNames::Abandon(std::string_view name) {
  names_[std::string(name)].holder = 0;
}

void MemoryMachineWideNames::Squat(std::string_view name, std::string reason) {
  names_[std::string(name)].squatted = std::move(reason);
}

bool MemoryMachineWideNames::Held(std::string_view name) const {
  const auto found = names_.find(name);
  return found != names_.end() && found->second.holder != 0;
}

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
