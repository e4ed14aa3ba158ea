#include "host/machine_identity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <iostream>
#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "host/device_facts.h"
#include "host/machine_id_rules.h"
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

// What the machine under test has is not known here: the real pass is
// checked for its shape, the rules that compose the ids on fixed inputs
// (machine_id_rules_test).
TEST(MachineIdentity, WmiGivesTextsAndAFailingClassStaysEmpty) {
  ComThreadScope com;
  const auto wmi = WmiConnection::Open(WmiConnection::Kind::kSecuredProxy);
  ASSERT_TRUE(wmi);
  const auto processor_id = wmi->FirstText(L"Select * from Win32_Processor", L"ProcessorId");
  ASSERT_TRUE(processor_id);
  EXPECT_FALSE(processor_id->empty());

  const auto values = QueryWmiValues({L"Win32_Processor", L"Win32_NoSuchClass"}, {L"ProcessorId", L"Name"}, false);
  ASSERT_EQ(values.size(), 2u);
  // Every package's id, in order: the first one first.
  EXPECT_EQ(values[0].rfind(*processor_id, 0), 0u) << values[0];
  EXPECT_EQ(values[1], L"");
}

bool IsMacText(const std::wstring& mac) {
  return mac.size() == 12 && std::all_of(mac.begin(), mac.end(), [](wchar_t c) {
           return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
         });
}

// The adapter list is read with a growing buffer whose first size holds one
// entry, so a machine with several adapters also goes through the growth.
TEST(MachineIdentity, AdapterListGivesAMacWhenAnAdapterHasOne) {
  const std::vector<AdapterEntry> adapters = ReadAdapterList();
  const std::wstring mac = MacFromAdapters(adapters);
  const bool any_address = std::any_of(adapters.begin(), adapters.end(), [](const AdapterEntry& adapter) {
    return !adapter.address.empty();
  });
  if (any_address) {
    EXPECT_TRUE(IsMacText(mac)) << mac;
  } else {
    EXPECT_EQ(mac, L"");
  }
}

}  // namespace
}  // namespace tarvolin
