#pragma once

#include <windows.h>

#include <utility>

namespace ordex {

// Owns a kernel handle (file, mutex) and closes it when it goes.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Close(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and tells whether the close succeeded, so that a failing close can be reported.
  bool Close() {
    const HANDLE handle = std::exchange(handle_, nullptr);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return true;
    return ::CloseHandle(handle) != FALSE;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace ordex
