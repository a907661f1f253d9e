#include "shell/collector_claim.h"

namespace ordex {

MachineWideClaim WaitToCollect(Machine& machine) {
  for (;;) {
    MachineWideClaim claim = machine.TryClaimMachineWide(kCollectorClaimName);
    if (claim.lock || !claim.unavailable.empty()) return claim;
    machine.Sleep(kCollectorClaimRetry);
  }
}

}  // namespace ordex
