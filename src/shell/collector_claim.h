#pragma once

#include <chrono>
#include <string_view>

#include "platform/machine.h"
#include "platform/machine_wide_claim.h"

namespace ordex {

// One ORDEX collects on a PC, whoever is logged on in whichever session: the one that holds the
// machine-wide claim of this name (on Windows a mutex; scripts may look for it). Every other
// ORDEX started meanwhile, in another session or by another user, waits until it may collect.
inline constexpr std::string_view kCollectorClaimName = "Global\\ORDEX.Collector";

// How often a waiting ORDEX tries the claim again: the collector's successor starts within this
// of its end.
inline constexpr std::chrono::milliseconds kCollectorClaimRetry{250};

// Waits until this ORDEX may collect, and returns the claim: taken (the collector before ended,
// however it ended), or unavailable with its reason (another program made the name its own), in
// which case this ORDEX collects without it. Meanwhile it touches nothing and reports nothing:
// no window is shown, no file, registry value or event is touched. The window keeps answering
// (Machine::Sleep): an end asked of it meanwhile throws EndRequested.
MachineWideClaim WaitToCollect(Machine& machine);

}  // namespace ordex
