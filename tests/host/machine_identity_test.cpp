#include "host/machine_identity.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "common/process_state.h"
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

}  // namespace
}  // namespace tarvolin
