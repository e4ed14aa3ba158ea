#include "host/machine_id_rules.h"

#include <gtest/gtest.h>

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
      {L"0123456789", L"012345678"},    // ten characters: nine stay
      {L"ABCDEFGHI", L"ABCDEFGHI"},     // nine stay as they are
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeId(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace tarvolin
