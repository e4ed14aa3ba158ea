#include "host/machine_identity.h"

#include <exception>
#include <optional>

#include "common/process_state.h"
#include "host/device_facts.h"
#include "host/machine_id_rules.h"
#include "host/wmi_query.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

std::optional<HardwareFacts> ReadFactsThroughWmi() {
  const std::optional<WmiConnection> wmi = WmiConnection::Open(WmiConnection::Kind::kSecuredProxy);
  if (!wmi) return std::nullopt;
  // Each fact from the first object that has it; the disk serial is the one
  // fact that drives often leave empty.
  HardwareFacts facts;
  facts.processor_id = wmi->FirstText(L"Select * from Win32_Processor", L"ProcessorId").value_or(kUnknownMachineId);
  facts.mac_address =
      wmi->FirstText(std::wstring(L"Select * from Win32_NetworkAdapter") + kPhysicalAdapterCondition, L"MacAddress")
          .value_or(L"");
  facts.disk_serial =
      wmi->FirstText(L"Select * from Win32_DiskDrive", L"SerialNumber").value_or(DiskSerialStandIn(facts.processor_id));
  return facts;
}

HardwareFacts ReadFactsFromDevices() {
  return HardwareFacts{CpuidProcessorId(), DriveSerialFromDevices(), MacFromAdapters(ReadAdapterList())};
}

std::wstring CurrentMachineId() {
  std::wstring id = kUnknownMachineId;
  if (const std::optional<HardwareFacts> facts = ReadFactsThroughWmi()) id = CurrentIdFromWmi(*facts);
  if (id == kUnknownMachineId) id = CurrentIdFromDevices(ReadFactsFromDevices());
  return id;
}

std::wstring PreviousMachineId() {
  const std::vector<std::wstring> values =
      QueryWmiValues({L"Win32_DiskDrive", L"Win32_BaseBoard", L"Win32_Processor", L"Win32_NetworkAdapter"},
                     {L"SerialNumber", L"SerialNumber", L"ProcessorId", L"MACAddress"}, false);
  // The base board's serial was read by the earlier scheme but never used.
  return PreviousId(HardwareFacts{values[2], values[0], values[3]});
}

}  // namespace

MachineIds ComputeMachineIds() {
  MachineIds ids{kUnknownMachineId, kUnknownMachineId};
  {
    ComThreadScope com;
    ids.current = CurrentMachineId();
    try {
      ids.previous = PreviousMachineId();
    } catch (const std::exception&) {
      ids.previous = kUnknownMachineId;
    }
  }
  SetMachineIds(ids.current, ids.previous);
  return ids;
}

}  // namespace tarvolin
