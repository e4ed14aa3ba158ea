#include "download/transfer_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "download/transfer_registry.h"

namespace tarvolin {
namespace {

struct PlanCase {
  long size;
  int threads;
  long block_size;
  int block_count;
  long last_block;
};

TEST(BlockPlanTest, SplitsIntoThreeQuartersOfTheThreadShare) {
  const PlanCase cases[] = {
      {100000, 8, 51200, 2, 48800},             // below the minimum: 2 blocks of the minimum size
      {10000000, 8, 936960, 11, 630400},        // 937,500 rounded down to whole KiB
      {51200, 8, 51200, 1, 51200},              // exactly one minimum block
      {1, 8, 51200, 1, 1},
      {0, 8, 51200, 1, 0},
      {1000000, 1, 749568, 2, 250432},          // one thread still leaves a second block
      {1000000, 0, 749568, 2, 250432},          // no threads counts as one
      {2147483647, 8, 201325568, 11, 134227967},  // largest size: no overflow on the way
      {409600, 3, 101376, 5, 4096},
      {102400, 4, 51200, 2, 51200},             // exact multiple: no short last block
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << ", threads " << c.threads);
    BlockPlan plan = ComputeBlockPlan(c.size, c.threads);
    EXPECT_EQ(plan.block_size, c.block_size);
    EXPECT_EQ(plan.block_count, c.block_count);
    EXPECT_EQ(BlockLength(plan, c.size, plan.block_count - 1), c.last_block);
    long long total = 0;
    for (int i = 0; i < plan.block_count; ++i) total += BlockLength(plan, c.size, i);
    EXPECT_EQ(total, c.size) << "the blocks must cover the file exactly";
  }
}

TEST(BlockPlanTest, BlockLengthBeyondTheFileIsZero) {
  BlockPlan plan = ComputeBlockPlan(100000, 8);
  EXPECT_EQ(BlockLength(plan, 100000, 0), 51200);
  EXPECT_EQ(BlockLength(plan, 100000, 2), 0);
}

TEST(ReadVerdictTest, OnlyWholePiecesOrTheExactRestAreGood) {
  struct Case {
    long count, remaining;
    ReadVerdict verdict;
  } cases[] = {
      {kTransferPiece, 10 * kTransferPiece, ReadVerdict::Good},
      {kTransferPiece, 100, ReadVerdict::Good},  // a piece beyond the block end is still good
      {100, 100, ReadVerdict::Good},
      {0, 100, ReadVerdict::Empty},
      {99, 100, ReadVerdict::Short},
      {1024, 10 * kTransferPiece, ReadVerdict::Short},
      {kTransferPiece - 1, 10 * kTransferPiece, ReadVerdict::Short},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyRead(c.count, c.remaining), c.verdict) << c.count << " of " << c.remaining;
  }
}

TEST(ClampedAddTest, StaysWithinZeroAndTheLimit) {
  struct Case {
    long value, delta, limit, result;
  } cases[] = {
      {10, 5, 100, 15}, {90, 50, 100, 100}, {10, -50, 100, 0}, {0, 7, 0, 0}, {2147483000, 2000, 2147483647, 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(ClampedAdd(c.value, c.delta, c.limit), c.result);
}

TEST(PercentEncodeUrlTest, EscapesPercentReservedAndNonAscii) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"http://h/a/b.bin", L"http://h/a/b.bin"},
      {L"http://h/a b.bin", L"http://h/a%20b.bin"},
      {L"http://h/100%.bin", L"http://h/100%25.bin"},
      {L"http://h/%20", L"http://h/%2520"},  // an existing escape is escaped again
      {L"a\"<>#{}|\\^~[]`+z", L"a%22%3C%3E%23%7B%7D%7C%5C%5E%7E%5B%5D%60%2Bz"},
      {L"$&,./:;=?@-_!*()'", L"$&,./:;=?@-_!*()'"},
      {L"\u00e9", L"%C3%A9"},
      {L"\u4e66.bin", L"%E4%B9%A6.bin"},
      {L"\U0001F600", L"%F0%9F%98%80"},
      {L"\t", L"%09"},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentEncodeUrl(c.in), c.out) << "input: " << testing::PrintToString(std::wstring(c.in));
}

TEST(ProxySettingTest, NeedsHostAndPort) {
  struct Case {
    const wchar_t* value;
    bool valid;
    const wchar_t* proxy_string;
  } cases[] = {
      {L"proxy.example:8080", true, L"HTTP=HTTP://proxy.example:8080"},
      {L"10.0.0.1:3128:extra", true, L"HTTP=HTTP://10.0.0.1:3128"},
      {L"proxy.example", false, L""},
      {L"", false, L""},
  };
  for (const Case& c : cases) {
    auto parsed = ParseProxySetting(c.value);
    ASSERT_EQ(parsed.has_value(), c.valid) << testing::PrintToString(std::wstring(c.value));
    if (parsed) {
      EXPECT_EQ(ProxyString(*parsed), c.proxy_string);
    }
  }
}

TEST(ProxySettingTest, UserAndOptionalPassword) {
  ProxyCredentials both = ParseProxyUser(L"alice,secret");
  EXPECT_EQ(both.user, L"alice");
  ASSERT_TRUE(both.password.has_value());
  EXPECT_EQ(*both.password, L"secret");

  ProxyCredentials user_only = ParseProxyUser(L"bob");
  EXPECT_EQ(user_only.user, L"bob");
  EXPECT_FALSE(user_only.password.has_value());
}

TEST(TransferRegistryTest, GetSetAddFollowTheTableRules) {
  TransferRegistry& registry = TransferRegistry::Instance();
  const long id = registry.NextTransferId();
  const std::uint32_t kind = registry_kinds::kBytesReceived;
  EXPECT_EQ(registry.Get(kind, id), 0) << "absent reads as 0";
  registry.Set(kind, id, 42);
  EXPECT_EQ(registry.Get(kind, id), 42);
  EXPECT_EQ(registry.Add(kind, id, -2), 40);
  EXPECT_EQ(registry.AddClamped(kind, id, 100, 50), 50);
  EXPECT_EQ(registry.AddClamped(kind, id, -80, 50), 0);
  EXPECT_EQ(registry.Add(kind, id, 5), 5) << "storing 0 removed the entry; adding starts again from 0";
  EXPECT_EQ(registry.Get(registry_kinds::kBlockBytes | 3, id), 0) << "blocks have their own entries";

  EXPECT_FALSE(registry.Stopped(id));
  registry.Stop(id);
  EXPECT_EQ(registry.Get(registry_kinds::kStopFlag, id), kStopValue);
  EXPECT_FALSE(registry.Stopped(registry.NextTransferId())) << "a new id starts clean";
}

TEST(TransferRegistryTest, IdsAreUniqueAndCountersLoseNothingAcrossThreads) {
  TransferRegistry& registry = TransferRegistry::Instance();
  const long first = registry.NextTransferId();
  EXPECT_GE(first, 1);
  const long id = registry.NextTransferId();
  EXPECT_EQ(id, first + 1);

  constexpr int kThreads = 8, kAdds = 500;
  std::vector<std::thread> threads;
  std::vector<std::vector<long>> ids(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kAdds; ++i) {
        registry.AddClamped(registry_kinds::kBytesReceived, id, 3, 1 << 30);
        if (i % 50 == 0) ids[t].push_back(registry.NextTransferId());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(registry.Get(registry_kinds::kBytesReceived, id), 3 * kThreads * kAdds);
  std::vector<long> all;
  for (auto& list : ids) all.insert(all.end(), list.begin(), list.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "an id was handed out twice";
}

}  // namespace
}  // namespace tarvolin
