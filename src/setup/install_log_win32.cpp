#include "setup/install_log_win32.h"

#include "platform/error_win32.h"
#include "platform/wide_text_win32.h"

namespace ordex {

void InstallLog::Line(std::wstring_view text) const {
  const MSIHANDLE record = ::MsiCreateRecord(1);
  if (record == 0) return;
  // The text is a field of its own: the template "[1]" is formatted, the field is not, so a
  // path holding brackets stays as it is.
  const std::wstring line = L"ORDEX: " + std::wstring(text);
  ::MsiRecordSetStringW(record, 0, L"[1]");
  ::MsiRecordSetStringW(record, 1, line.c_str());
  ::MsiProcessMessage(install_, INSTALLMESSAGE_INFO, record);
  ::MsiCloseHandle(record);
}

std::wstring SystemErrorWords(DWORD code) { return WideFromCodePage(SystemErrorText(code)); }

}  // namespace ordex
