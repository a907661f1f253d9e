#pragma once

namespace ordex {

// Keeps the system's modal boxes away from a process that nobody watches, for the rest of its
// life: a drive without media or a share that has gone away fails the file access like any
// other file that cannot be opened, instead of asking "There is no disk in the drive"; a crash
// is still reported to Windows Error Reporting, queued without its dialog; and an end by the C or
// C++ runtime (a pure virtual call, std::terminate) writes its message to the error output and
// reaches Windows Error Reporting the same way, instead of a "Runtime Error!" box. Call it first.
void KeepSystemDialogsAway();

// Asks Windows to start the program again when an update has closed it through the Restart
// Manager, and never else: not after a crash, a hang or a restart of the PC.
void RegisterRestartAfterUpdate();

}  // namespace ordex
