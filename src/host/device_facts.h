// Hardware facts read straight from the processor, the drives and the adapter
// list, for machines whose WMI gives no identity.
#pragma once

#include <string>
#include <vector>

#include "host/machine_id_rules.h"

namespace tarvolin {

// CPUID leaf 1 as "%08X%08X" of EDX and then EAX.
std::wstring CpuidProcessorId();

// The first drive serial that the direct queries give, in this order: SMART
// IDENTIFY on a drive opened for reading and writing (administrators), the
// storage device descriptor of a drive opened without access rights (any
// user), SMART IDENTIFY on a drive opened with full sharing. Empty when none
// answers.
std::wstring DriveSerialFromDevices();

// The system's adapter list; empty when there are no adapters or it cannot be read.
std::vector<AdapterEntry> ReadAdapterList();

}  // namespace tarvolin
