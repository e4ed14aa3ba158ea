#include "host/machine_id_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tarvolin {
namespace {

constexpr wchar_t kProcessor[] = L"BFEBFBFF000306C3";

struct IdCase {
  const char* name;
  HardwareFacts facts;
  const wchar_t* id;
};

TEST(MachineIdRules, CurrentIdFromWmiValues) {
  const IdCase cases[] = {
      {"published example", {kProcessor, L"WD-WCC4N1234567", L"00:1A:2B:3C:4D:5E"}, L"6C3567D5E"},
      // Zeros go in front before the parts are cut, so the stand-ins come from the padded id.
      {"short processor id", {L"ABC12", L"", L""}, L"C120AB0AB"},
      {"lower case and dashes", {L"bfebfbff000306c3", L"wd-x-1", L"aa:bb:cc"}, L"6C3XS1BCC"},
      {"no adapter", {kProcessor, L"WD-WCC4N1234567", L""}, L"6C3567030"},
      {"one and two characters", {kProcessor, L"7", L"5:E"}, L"6C300705E"},
      {"nothing but the default processor id", {L"000000000", L"", L""}, L"000000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(CurrentIdFromWmi(c.facts), c.id) << c.name;
}

TEST(MachineIdRules, CurrentIdFromDevicesKeepsProcessorIdAndMacAsRead) {
  const IdCase cases[] = {
      {"adapter list MAC", {kProcessor, L"WD-WCC4N1234567", L"001A2B3C4D5E"}, L"6C3567D5E"},
      {"no drive, no adapter", {kProcessor, L"", L""}, L"6C3030030"},
      // No leading zeros here: the stand-ins are cut from the id as it is.
      {"short processor id", {L"ABC12", L"", L""}, L"C12ABCABC"},
      {"a colon stays and becomes S", {kProcessor, L"ABC", L"4D:5E"}, L"6C3ABCS5E"},
  };
  for (const auto& c : cases) EXPECT_EQ(CurrentIdFromDevices(c.facts), c.id) << c.name;
}

TEST(MachineIdRules, DiskSerialStandInIsCharactersOneToThree) {
  EXPECT_EQ(DiskSerialStandIn(kProcessor), L"FEB");
  EXPECT_EQ(DiskSerialStandIn(L"000000000"), L"000");
  EXPECT_EQ(DiskSerialStandIn(L"AB"), L"B");
  EXPECT_EQ(DiskSerialStandIn(L""), L"");
}

TEST(MachineIdRules, PreviousId) {
  const IdCase cases[] = {
      {"published example", {kProcessor, L"WD-WCC4N1234567", L"00:1A:2B:3C:4D:5E"}, L"6C3567C4D"},
      {"blank run before the serial",
       {kProcessor, L"202020202020202020202020WD-WCC4N1234567", L"00:1A:2B:3C:4D:5E"},
       L"6C3567C4D"},
      {"only the blank run", {kProcessor, L"202020202020202020202020", L""}, L"6C3030F00"},
      {"nothing read", {L"", L"", L""}, L"000000000"},
      {"two adapters concatenated", {kProcessor, L"ABC", L"00:1A:2B:3C:4D:5E0A:0B:0C:0D:0E:0F"}, L"6C3ABCC4D"},
      {"short MAC", {kProcessor, L"ABC", L"AB"}, L"6C3ABCAB"},
  };
  for (const auto& c : cases) EXPECT_EQ(PreviousId(c.facts), c.id) << c.name;
}

TEST(MachineIdRules, NormalizeIdKeepsDigitsAndCapitals) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"abc-123", L"ABCS123"},
      {L"a b_c", L"ASBSC"},
      {L"0123456789", L"012345678"},  // ten characters: nine stay
      {L"ABCDEFGHI", L"ABCDEFGHI"},   // nine stay as they are
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeId(c.in), c.out) << c.in;
}

// IDENTIFY data with `serial` (20 characters) in words 10 to 19, stored as a
// drive stores it: each word's two bytes swapped.
std::vector<unsigned char> IdentifyData(const std::string& serial) {
  std::vector<unsigned char> data(512, 0);
  for (std::size_t i = 0; i + 1 < serial.size(); i += 2) {
    data[20 + i] = static_cast<unsigned char>(serial[i + 1]);
    data[20 + i + 1] = static_cast<unsigned char>(serial[i]);
  }
  return data;
}

TEST(MachineIdRules, SerialFromIdentifyData) {
  const struct {
    std::string field;
    std::string serial;
  } cases[] = {
      {"     WD-WCC4N1234567", "WD-WCC4N1234567"},  // leading blanks: the last character counts
      {"S1Z2XY34    ", "S1Z2XY34"},                 // trailing blanks: the first character counts
      {"  -- serial --      ", ""},                 // neither end is a letter or digit
      {std::string(20, ' '), ""},
  };
  for (const auto& c : cases) {
    std::string field = c.field + std::string(20 - c.field.size(), ' ');
    const auto data = IdentifyData(field);
    EXPECT_EQ(SerialFromIdentifyData(data.data(), data.size()), c.serial) << c.field;
  }
  const auto data = IdentifyData("ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(SerialFromIdentifyData(data.data(), 39), "");  // cut short before the field ends
}

TEST(MachineIdRules, MacFromAdapters) {
  const AdapterEntry wifi{"Wireless Network Adapter", 71, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
  const AdapterEntry usb_ethernet{"USB Ethernet", 6, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}};
  const AdapterEntry pci_ethernet{"Realtek PCIe GbE Family Controller", 6, {0xF0, 0xDE, 0xF1, 0x12, 0x34, 0xAB}};
  const AdapterEntry pci_wifi{"Intel PCI Wireless", 71, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
  const AdapterEntry no_address{"Tunnel", 131, {}};
  const struct {
    const char* name;
    std::vector<AdapterEntry> adapters;
    const wchar_t* mac;
  } cases[] = {
      {"PCI Ethernet wins over earlier ones", {wifi, usb_ethernet, pci_wifi, pci_ethernet}, L"F0DEF11234AB"},
      {"else the first with an address", {no_address, wifi, usb_ethernet}, L"001A2B3C4D5E"},
      {"no address at all", {no_address}, L""},
      {"no adapters", {}, L""},
  };
  for (const auto& c : cases) EXPECT_EQ(MacFromAdapters(c.adapters), c.mac) << c.name;
}

TEST(MachineIdRules, InstanceValuesAreAppendedUntilOneIsMissing) {
  using Values = std::vector<std::optional<std::wstring>>;
  const struct {
    const char* name;
    Values values;
    bool first_only;
    std::wstring collected;
    std::size_t visited;
  } cases[] = {
      {"all instances, appended and trimmed", {L" AA", L"BB ", L"CC"}, false, L"AABBCC", 3},
      {"a missing value empties what came before", {L"AA", std::nullopt, L"CC"}, false, L"CC", 3},
      {"missing last", {L"AA", std::nullopt}, false, L"", 2},
      {"first only stops at the first value", {std::nullopt, L"", L"BB", L"CC"}, true, L"BB", 3},
      {"first only, none", {std::nullopt, L"  "}, true, L"", 2},
      {"no instances", {}, false, L"", 0},
  };
  for (const auto& c : cases) {
    std::wstring collected;
    std::size_t visited = 0;
    for (const auto& value : c.values) {
      ++visited;
      if (!CollectInstanceValue(collected, value, c.first_only)) break;
    }
    EXPECT_EQ(collected, c.collected) << c.name;
    EXPECT_EQ(visited, c.visited) << c.name;
  }
}

}  // namespace
}  // namespace tarvolin
