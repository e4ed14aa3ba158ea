#include "install/rights_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "common/process_state.h"

namespace tarvolin {
namespace {

class RightsListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RightsList().Clear();
    SetElevatedRun(false);
  }
  void TearDown() override {
    RightsList().Clear();
    SetElevatedRun(false);
  }
};

TEST(ElevationRules, ElevationExistsOnlyOnNtFromMajorVersionSix) {
  struct Case {
    bool query_ok;
    bool nt;
    unsigned long major;
    bool expected;
  } const cases[] = {
      {true, true, 6, true},   {true, true, 10, true}, {true, true, 5, false},
      {true, false, 6, false}, {false, true, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.query_ok << c.nt << c.major);
    EXPECT_EQ(ElevationExistsOn(c.query_ok, c.nt, c.major), c.expected);
  }
}

TEST(ElevationRules, TheTestNeedsAccessDeniedAnAvailableElevationAndAnUnelevatedRun) {
  for (int bits = 0; bits < 8; ++bits) {
    const bool denied = bits & 1, available = bits & 2, elevated = bits & 4;
    EXPECT_EQ(ElevationTestHolds(denied, available, elevated), denied && available && !elevated) << bits;
  }
}

TEST_F(RightsListTest, OnlyAccessDeniedAddsAPathAndInOrder) {
  // This system (Wine reports a Windows of the NT family, version 6 or later) offers elevation.
  ASSERT_TRUE(ElevationAvailable());
  EXPECT_TRUE(AddToRightsList(L"C:\\book\\a.dat", ERROR_ACCESS_DENIED));
  EXPECT_FALSE(AddToRightsList(L"C:\\book\\b.dat", ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(AddToRightsList(L"C:\\book\\c.dat", ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(AddToRightsList(L"C:\\book\\d.dat", ERROR_ACCESS_DENIED));
  EXPECT_EQ(RightsList().Paths(), (std::vector<std::wstring>{L"C:\\book\\a.dat", L"C:\\book\\d.dat"}));
  RightsList().Clear();
  EXPECT_TRUE(RightsList().Empty());
}

TEST_F(RightsListTest, TheElevatedRunNeverAddsAnything) {
  SetElevatedRun(true);
  EXPECT_FALSE(AddToRightsList(L"C:\\book\\a.dat", ERROR_ACCESS_DENIED));
  EXPECT_TRUE(RightsList().Empty());
}

}  // namespace
}  // namespace tarvolin
