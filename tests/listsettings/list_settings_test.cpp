#include "updatelist/list_settings.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "support/configuration_fixture.h"
#include "support/process.h"

namespace tarvolin {
namespace {

std::wstring Fixture(const std::wstring& name) { return testing::BuildOutputFolder() + L"\\settings_fixtures\\" + name; }

class ListSettingsTest : public ::testing::Test {
 protected:
  testing::ScopedConfigurationFolder folder_;  // also empties the run parameters
};

TEST_F(ListSettingsTest, FieldsBecomeRunParametersAndCountsAreClamped) {
  ASSERT_TRUE(LoadListSettingsFrom(Fixture(L"counts.bin")));
  EXPECT_EQ(RunParameters().Get(L"custom"), L"hello");
  EXPECT_EQ(ConfiguredFilesAtOnce(), 1);      // 0 → at least one file at a time
  EXPECT_EQ(ConfiguredThreadsPerFile(), 100);  // 500 → at most 100 threads
}

// Anyone can write such a file: the run with administrator rights takes only
// the download tuning from it.
TEST_F(ListSettingsTest, TheElevatedRunTakesOnlyTheDownloadTuning) {
  SetElevatedRun(true);
  const bool loaded = LoadListSettingsFrom(Fixture(L"counts.bin"));
  SetElevatedRun(false);
  ASSERT_TRUE(loaded);
  EXPECT_FALSE(RunParameters().Find(L"custom").has_value());
  EXPECT_EQ(ConfiguredFilesAtOnce(), 1);
  EXPECT_EQ(ConfiguredThreadsPerFile(), 100);
}

TEST_F(ListSettingsTest, LeadingNumberIsTaken) {
  ASSERT_TRUE(LoadListSettingsFrom(Fixture(L"inrange.bin")));
  EXPECT_EQ(ConfiguredFilesAtOnce(), 12);
  EXPECT_EQ(ConfiguredThreadsPerFile(), 7);
}

TEST_F(ListSettingsTest, TextEndsAtTheFirstZeroByte) {
  ASSERT_TRUE(LoadListSettingsFrom(Fixture(L"zeroend.bin")));
  EXPECT_EQ(RunParameters().Get(L"custom"), L"cut");
}

TEST_F(ListSettingsTest, UnusableFilesNameNothing) {
  for (const wchar_t* name : {L"wrongkey.bin", L"notxml.bin", L"otherentry.bin", L"notzip.bin", L"missing.bin"}) {
    EXPECT_FALSE(LoadListSettingsFrom(Fixture(name))) << name;
    EXPECT_FALSE(RunParameters().Find(L"custom").has_value()) << name;
  }
  EXPECT_EQ(ConfiguredFilesAtOnce(), std::nullopt);
  EXPECT_EQ(ConfiguredThreadsPerFile(), std::nullopt);
}

TEST(ListSettingsCounts, ClampTable) {
  struct Case {
    const wchar_t* value;
    int files;
    int threads;
  } cases[] = {{L"0", 1, 1}, {L"-3", 1, 1}, {L"50", 50, 50}, {L"51", 50, 51}, {L"500", 50, 100}, {L"x", 1, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(ClampFilesAtOnce(c.value), c.files) << c.value;
    EXPECT_EQ(ClampThreadsPerFile(c.value), c.threads) << c.value;
  }
}

TEST(ListSettingsPassword, IsThirtyEightBytesWithoutZero) {
  std::string password = ListSettingsPassword();
  EXPECT_EQ(password.size(), 38u);
  EXPECT_EQ(password.find('\0'), std::string::npos);
}

}  // namespace
}  // namespace tarvolin
