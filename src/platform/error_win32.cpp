#include "platform/error_win32.h"

namespace ordex {

std::string SystemErrorText(DWORD code) {
  char* text = nullptr;
  // MAX_WIDTH_MASK drops the line breaks inside a message: the error ends in one line.
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (length != 0 && text != nullptr) message.assign(text, length);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  const std::string number = "error " + std::to_string(code);
  return message.empty() ? number : message + " (" + number + ")";
}

Error Win32Error(std::string_view action, std::string_view thing, DWORD code) {
  std::string message(action);
  message += ' ';
  message += thing;
  message += ": ";
  message += SystemErrorText(code);
  return Error(message);
}

}  // namespace ordex
