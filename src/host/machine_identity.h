// The machine's identity codes, read from the hardware once at start-up.
#pragma once

#include <string>

namespace tarvolin {

struct MachineIds {
  std::wstring current;
  std::wstring previous;
};

// Reads the hardware facts (WMI first, the devices themselves when WMI gives
// nothing), makes both codes, stores them as the process's MachineID() and
// OldMachineID() and returns them. Takes care of COM for the calling thread.
// Never fails: what cannot be read leaves "000000000".
MachineIds ComputeMachineIds();

}  // namespace tarvolin
