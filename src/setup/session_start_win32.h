#pragma once

#include <string>

#include "setup/install_log_win32.h"

namespace ordex {

// Starts `program` (the installed ordex.exe) in `folder` in every session where a user is
// logged on, as that user, with a line in the install log for each, and for each session where
// it could not.
void StartOrdexInEverySession(const std::wstring& program, const std::wstring& folder,
                              const InstallLog& log);

}  // namespace ordex
