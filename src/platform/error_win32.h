#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/error.h"

namespace ordex {

// The system's text for a Win32 error code, without the trailing line end and full stop, so it
// reads well after a colon ("The system cannot find the file specified").
std::string SystemErrorText(DWORD code);

// "<action> <thing>: <system text>", the one shape of every Windows error message.
Error Win32Error(std::string_view action, std::string_view thing, DWORD code);

// Owns a kernel handle (file, mutex) and closes it when it goes.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle();
  UniqueHandle(UniqueHandle&& other) noexcept;
  UniqueHandle& operator=(UniqueHandle&& other) noexcept;
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and tells whether the close succeeded, so that a failing close can be reported.
  bool Close();

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace ordex
