#pragma once

namespace ordex {

// Creates the main window on this machine, with this platform's backends, and runs it; returns
// the exit status.
int RunForm1();

}  // namespace ordex
