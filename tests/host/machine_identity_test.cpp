#include "host/machine_identity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <iostream>
#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "host/device_facts.h"
#include "host/wmi_query.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

bool IsIdText(const std::wstring& id) {
  if (id.size() != 9) return false;
  for (wchar_t c : id) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z'))) return false;
  }
  return true;
}

TEST(MachineIdentity, BothIdsAreNineCharactersAndStable) {
  const MachineIds first = ComputeMachineIds();
  const MachineIds second = ComputeMachineIds();
  std::wcout << L"current " << first.current << L", previous " << first.previous << std::endl;
  EXPECT_TRUE(IsIdText(first.current)) << first.current;
  EXPECT_TRUE(IsIdText(first.previous)) << first.previous;
  EXPECT_NE(first.current, kUnknownMachineId);
  EXPECT_EQ(second.current, first.current);
  EXPECT_EQ(second.previous, first.previous);
  EXPECT_EQ(MachineID(), first.current);
  EXPECT_EQ(OldMachineID(), first.previous);
}

TEST(MachineIdentity, WmiReadsTheProcessorIdTheProcessorGives) {
  ComThreadScope com;
  const auto wmi = WmiConnection::Open(WmiConnection::Kind::kSecuredProxy);
  ASSERT_TRUE(wmi);
  const auto processor_id = wmi->FirstText(L"Select * from Win32_Processor", L"ProcessorId");
  ASSERT_TRUE(processor_id);
  std::wcout << L"WMI processor id " << *processor_id << L", CPUID " << CpuidProcessorId() << std::endl;
  EXPECT_EQ(*processor_id, CpuidProcessorId());

  const auto values = QueryWmiValues({L"Win32_Processor", L"Win32_NoSuchClass"}, {L"ProcessorId", L"Name"}, false);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0], *processor_id);  // one processor package under test
  EXPECT_EQ(values[1], L"");            // a failing class stays empty
}

// The adapter list is read with a growing buffer whose first size holds one
// entry, so a machine with several adapters also goes through the growth.
TEST(MachineIdentity, AdapterListMacIsOneThatWmiKnows) {
  ComThreadScope com;
  const auto wmi = WmiConnection::Open(WmiConnection::Kind::kSecuredProxy);
  ASSERT_TRUE(wmi);
  std::vector<std::wstring> wmi_macs;
  wmi->ForEachValue(L"Select * from Win32_NetworkAdapter", L"MACAddress", [&](const std::optional<std::wstring>& mac) {
    std::wstring upper;
    for (wchar_t c : RemoveAll(mac.value_or(L""), L":")) upper += static_cast<wchar_t>(std::towupper(c));
    if (!upper.empty()) wmi_macs.push_back(upper);
    return true;
  });
  const std::vector<AdapterEntry> adapters = ReadAdapterList();
  const std::wstring mac = MacFromAdapters(adapters);
  std::wcout << adapters.size() << L" adapters, MAC " << mac << std::endl;
  if (wmi_macs.empty()) {
    EXPECT_EQ(mac, L"");
  } else {
    EXPECT_EQ(adapters.size(), wmi_macs.size());
    EXPECT_NE(std::find(wmi_macs.begin(), wmi_macs.end(), mac), wmi_macs.end()) << mac;
  }
}

TEST(MachineIdentity, WmiValuesOfAllInstancesOrOfTheFirst) {
  ComThreadScope com;
  const auto wmi = WmiConnection::Open(WmiConnection::Kind::kSecuredProxy);
  ASSERT_TRUE(wmi);
  std::wstring all;
  std::vector<std::wstring> each;
  wmi->ForEachValue(std::wstring(L"Select * from Win32_NetworkAdapter") + kPhysicalAdapterCondition, L"MACAddress",
                    [&](const std::optional<std::wstring>& mac) {
                      if (mac) each.push_back(*mac);
                      return true;
                    });
  wmi->ForEachValue(L"Select * from Win32_NetworkAdapter", L"MACAddress", [&](const std::optional<std::wstring>& mac) {
    all = mac ? all + *mac : std::wstring();
    return true;
  });
  if (each.size() < 2) GTEST_SKIP() << "this machine lists fewer than two network adapters";

  EXPECT_EQ(QueryWmiValues({L"Win32_NetworkAdapter"}, {L"MACAddress"}, true), std::vector<std::wstring>{each[0]});
  EXPECT_EQ(QueryWmiValues({L"Win32_NetworkAdapter"}, {L"MACAddress"}, false), std::vector<std::wstring>{Trim(all)});
}

}  // namespace
}  // namespace tarvolin
