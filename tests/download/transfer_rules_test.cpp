#include "download/transfer_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "common/unique_handle.h"
#include "download/block_lanes.h"
#include "download/transfer_registry.h"

namespace tarvolin {
namespace {

struct PlanCase {
  std::int64_t size;
  int threads;
  std::int64_t block_size;
  int block_count;
  std::int64_t last_block;
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
      {5368709120LL, 8, 503316480LL, 11, 335544320LL},  // 5 GiB: sizes beyond 32 bits
      {67108864, 8, 6291456, 11, 4194304},               // 64 MiB: more blocks than connections
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

TEST(ClampedAddTest, StaysWithinZeroAndTheLimit) {
  struct Case {
    std::int64_t value, delta, limit, result;
  } cases[] = {
      {10, 5, 100, 15}, {90, 50, 100, 100}, {10, -50, 100, 0}, {0, 7, 0, 0},
      {2147483000, 2000, 2147483647, 2147483647},
      {4294967000LL, 1000, 5368709120LL, 4294968000LL},  // beyond 32 bits nothing wraps
  };
  for (const Case& c : cases) EXPECT_EQ(ClampedAdd(c.value, c.delta, c.limit), c.result);
}

TEST(ReplyRulesTest, OnlyLastingRefusalsAreFinal) {
  struct Case {
    unsigned long status;
    bool final_refusal, head_refused;
  } cases[] = {
      {200, false, false}, {206, false, false}, {301, false, false}, {400, true, false}, {403, true, false},
      {404, true, false},  {405, true, true},   {408, false, false}, {416, true, false}, {429, false, false},
      {500, false, false}, {501, false, true},  {503, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsFinalRefusal(c.status), c.final_refusal) << c.status;
    EXPECT_EQ(IsHeadRefused(c.status), c.head_refused) << c.status;
  }
  EXPECT_EQ(ClosedRangeHeader(0, 0), L"Range: bytes=0-0");
  EXPECT_EQ(ClosedRangeHeader(4294967296LL, 5368709119LL), L"Range: bytes=4294967296-5368709119");
}

TEST(ReplyRulesTest, ContentRangeIsReadStrictly) {
  struct Case {
    const wchar_t* text;
    bool valid;
    std::int64_t first, last, total;
  } cases[] = {
      {L"bytes 0-0/100", true, 0, 0, 100},
      {L"bytes 100-199/1000", true, 100, 199, 1000},
      {L"Bytes 5-9/*", true, 5, 9, -1},
      {L" bytes 4294967296-5368709119/5368709120 ", true, 4294967296LL, 5368709119LL, 5368709120LL},
      {L"bytes 10-5/100", false, 0, 0, 0},      // backwards
      {L"bytes 0-100/100", false, 0, 0, 0},     // beyond the total
      {L"bytes */100", false, 0, 0, 0},         // the unsatisfiable form names no bytes
      {L"bytes 0-9", false, 0, 0, 0},
      {L"items 0-9/10", false, 0, 0, 0},
      {L"bytes -1-9/10", false, 0, 0, 0},
      {L"bytes 0-99999999999999999999/1", false, 0, 0, 0},
      {L"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    auto range = ParseContentRange(c.text);
    ASSERT_EQ(range.has_value(), c.valid);
    if (range) {
      EXPECT_EQ(range->first, c.first);
      EXPECT_EQ(range->last, c.last);
      EXPECT_EQ(range->total, c.total);
    }
  }
}

TEST(MessageScaleTest, LargeFilesAreScaledAlikeAndNeverWrap) {
  struct Case {
    std::int64_t size;
    int shift;
  } cases[] = {{0, 0}, {2147483647LL, 0}, {2147483648LL, 1}, {5368709120LL, 2}, {1LL << 40, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    int shift = MessageShift(c.size);
    EXPECT_EQ(shift, c.shift);
    long scaled = ScaledForMessage(c.size, shift);
    if (c.size > 0x7FFFFFFF) {
      EXPECT_GT(scaled, 0x3FFFFFFF) << "large sizes keep their precision";
    }
    EXPECT_LE(scaled, 0x7FFFFFFF);
    EXPECT_EQ(ScaledForMessage(c.size / 2, shift), (c.size / 2) >> shift) << "halfway stays halfway";
  }
  EXPECT_LT(ScaledForMessage(-5368709120LL, 2), 0) << "a step back stays a step back";
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

TEST(TransferRegistryTest, CountersHoldSizesBeyondFourGiB) {
  TransferRegistry& registry = TransferRegistry::Instance();
  const long id = registry.NextTransferId();
  const std::int64_t five_gib = 5LL << 30;
  EXPECT_EQ(registry.AddClamped(registry_kinds::kBytesReceived, id, five_gib - 1, five_gib), five_gib - 1);
  EXPECT_EQ(registry.AddClamped(registry_kinds::kBytesReceived, id, 10, five_gib), five_gib);
}

TEST(TransferRegistryTest, ANamedObjectOfAnotherUpdaterCannotBlockTheTable) {
  // Another updater that died holding a session-wide lock of the same name
  // leaves the object unsignalled for good; this process's table must not care.
  unique_handle dead_holder(::CreateEventW(nullptr, TRUE, FALSE, L"threadValueEvent"));
  ASSERT_TRUE(dead_holder);
  // Should the name already stand for an auto-reset event, take its signal as a holder would.
  ::WaitForSingleObject(dead_holder.get(), 0);
  std::atomic<bool> done{false};
  std::thread user([&] {
    TransferRegistry& registry = TransferRegistry::Instance();
    registry.Add(registry_kinds::kRunningBlocks, registry.NextTransferId(), 1);
    done = true;
  });
  for (int i = 0; i < 500 && !done; ++i) ::Sleep(10);
  EXPECT_TRUE(done.load()) << "the table waited on another process's object";
  if (!done) ::SetEvent(dead_holder.get());  // let the thread end so the test can
  user.join();
}

TEST(LaneTableTest, BlocksAreHandedOutInOrderAsRequestsOfTheSpan) {
  const BlockPlan plan{300, 3};
  LaneTable lanes(plan, 800, 128, 64);
  std::vector<std::pair<std::int64_t, std::int64_t>> claimed;
  while (std::optional<int> lane = lanes.StartNextBlock()) {
    while (auto span = lanes.ClaimRequest(*lane)) claimed.emplace_back(span->first, span->last);
  }
  const std::vector<std::pair<std::int64_t, std::int64_t>> expected = {
      {0, 127}, {128, 255}, {256, 299}, {300, 427}, {428, 555}, {556, 599}, {600, 727}, {728, 799}};
  EXPECT_EQ(claimed, expected);
  EXPECT_FALSE(lanes.TakeOver()) << "nothing is left to take over";
}

TEST(LaneTableTest, TakeOverSplitsTheLargestUntouchedTailAndNeverTwice) {
  // Large enough for whole pieces: two blocks of 2 MiB and one of 1 MiB.
  const std::int64_t mib = 1024 * 1024;
  const std::int64_t size = 5 * mib;
  const BlockPlan plan{2 * mib, 3};
  LaneTable lanes(plan, size, mib / 2, 256 * 1024);
  std::vector<int> started;
  while (auto lane = lanes.StartNextBlock()) started.push_back(*lane);
  ASSERT_EQ(started.size(), 3u);
  std::vector<std::pair<std::int64_t, std::int64_t>> claimed;
  auto claim = [&](int lane) {
    auto span = lanes.ClaimRequest(lane);
    if (span) claimed.emplace_back(span->first, span->last);
    return span.has_value();
  };
  ASSERT_TRUE(claim(started[0]));  // block 0 has 1.5 MiB untouched, block 1 2 MiB, block 2 1 MiB
  ASSERT_TRUE(claim(started[2]));  // block 2: 0.5 MiB left
  auto taken = lanes.TakeOver();
  ASSERT_TRUE(taken);
  EXPECT_EQ(lanes.lane(*taken).block, 1) << "the largest tail is block 1's";
  EXPECT_EQ(lanes.lane(*taken).next, 3 * mib);
  EXPECT_EQ(lanes.lane(started[1]).end, 3 * mib) << "its owner keeps the first half";
  // Everything claimed from here on, by every lane, tiles the file once.
  std::vector<int> all = started;
  all.push_back(*taken);
  while (auto more = lanes.TakeOver()) all.push_back(*more);
  bool any = true;
  while (any) {
    any = false;
    for (int lane : all) any = claim(lane) || any;
  }
  std::sort(claimed.begin(), claimed.end());
  std::int64_t next = 0;
  for (auto& [first, last] : claimed) {
    EXPECT_EQ(first, next) << "a gap or an overlap";
    EXPECT_EQ(first % kTransferPiece, 0) << "splits fall on whole pieces";
    next = last + 1;
  }
  EXPECT_EQ(next, size);
  EXPECT_FALSE(lanes.TakeOver());
}

}  // namespace
}  // namespace tarvolin
