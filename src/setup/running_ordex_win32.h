#pragma once

#include <chrono>
#include <string>

#include "setup/install_log_win32.h"

namespace ordex {

// How long the package waits, in all, for every ORDEX to end on the close signal before it ends
// the rest by force.
inline constexpr std::chrono::seconds kCloseWait{10};

// Closes every ORDEX whose image is `program` (the installed ordex.exe, compared without regard
// to case), in every session: sets the close signal, waits up to kCloseWait for them to end, and
// ends what still runs by force (an older ORDEX that knows no signal, one that hangs), with a
// line in the install log for each. An ORDEX started meanwhile meets the signal set and ends on
// it too. The signal stays set until ResetCloseSignal, but only as long as a process holds it:
// an event lives as long as a handle to it.
void CloseEveryOrdex(const std::wstring& program, const InstallLog& log);

// Resets the close signal, so that an ORDEX started from now on runs.
void ResetCloseSignal(const InstallLog& log);

}  // namespace ordex
