// Rules of the application core that are plain functions: the exit code, the
// cache name, the browser emulation value and the .NET requirement values.
#include <gtest/gtest.h>

#include "app/exit_code.h"
#include "app/prerequisites.h"
#include "ui/browser_emulation.h"
#include "updatelist/list_cache_name.h"

namespace tarvolin {
namespace {

TEST(ExitCode, Rule) {
  struct Case {
    int records;
    const wchar_t* label;
    const wchar_t* installed;
    int expected;
  } cases[] = {
      {2, L"", L"", 2},
      {2, L"5.1", L"5.0", 2},               // records first
      {0, L"", L"5.0", 0},
      {0, L"5.1", L"5.0", 0x7FFFFFFF},
      {0, L"5.0", L"5.0", 0},
      {0, L"V5", L"v5", 0x7FFFFFFF},        // exact, case-sensitive
  };
  for (const auto& c : cases) EXPECT_EQ(ExitCodeFor(c.records, c.label, c.installed), c.expected) << c.label;
}

TEST(ListCacheName, Digest) {
  EXPECT_EQ(ListCacheName(L"abc"), L"93F3-7B369C");
  EXPECT_EQ(ListCacheName(L""), L"1812-349999");  // the seed, each slot modulo 16
  EXPECT_NE(ListCacheName(L"http://a/tarvolin.xml9999999999"), ListCacheName(L"http://b/tarvolin.xml9999999999"));
}

TEST(BrowserEmulation, ValueFromVersion) {
  EXPECT_EQ(BrowserEmulationValue(L"9.11.9600.18838"), 9000ul);
  EXPECT_EQ(BrowserEmulationValue(L"8.0.7601"), 8000ul);
  EXPECT_EQ(BrowserEmulationValue(L"11"), std::nullopt);
  // A major number too large for the value is held at the largest it can carry.
  EXPECT_EQ(BrowserEmulationValue(L"99999999999999999999.0"), 4294967000ul);
  EXPECT_EQ(BrowserEmulationValue(L"-7.0"), 0ul);
}

TEST(DotNet, AcceptedRequirementsAndFolders) {
  EXPECT_EQ(DotNetFlagIndex(L"2"), DotNetFlagIndex(L"2.0"));
  EXPECT_EQ(DotNetFlagIndex(L"4.5"), 6);
  EXPECT_EQ(DotNetFlagIndex(L"5"), -1);
  EXPECT_EQ(DotNetFlagIndex(L""), -1);
  DotNetFlags flags{};
  MarkDotNetFolder(L"v4.5.50709", flags);
  MarkDotNetFolder(L"V2.0.50727", flags);  // exact case only
  MarkDotNetFolder(L"xv3.5", flags);       // prefix at position 0 only
  EXPECT_TRUE(flags[6]);
  EXPECT_FALSE(flags[2]);
  EXPECT_FALSE(flags[4]);
}

}  // namespace
}  // namespace tarvolin
