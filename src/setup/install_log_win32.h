#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <string_view>

namespace ordex {

// The log of the installation a custom action runs in (msiexec /l*v): each line goes there as
// an informational message ("MsiProcessMessage", INSTALLMESSAGE_INFO), after "ORDEX: ", so that
// an administrator finds what the package did to the running ORDEX. A line that cannot be
// written is lost; the installation goes on.
class InstallLog {
 public:
  explicit InstallLog(MSIHANDLE install) : install_(install) {}

  void Line(std::wstring_view text) const;

 private:
  MSIHANDLE install_;
};

// The system's words for an error code, wide, for a log line: "Access is denied".
std::wstring SystemErrorWords(DWORD code);

}  // namespace ordex
