#include "common/grow_buffer.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tarvolin {
namespace {

// How a system call tells the caller about an answer that did not fit.
enum class Reports { BytesWritten, SizeNeeded };

struct GrowCase {
  const char* name;
  std::size_t answer;
  std::size_t initial_capacity;
  Reports reports;
};

// Fills with 0, 1, 2, ... as far as there is room, reporting as the API style does.
std::optional<std::size_t> FakeFill(int* data, std::size_t capacity, const GrowCase& c) {
  const std::size_t written = std::min(capacity, c.answer);
  std::iota(data, data + written, 0);
  return c.reports == Reports::BytesWritten ? written : c.answer;
}

TEST(FillGrowingBuffer, ReturnsTheWholeAnswerHoweverLarge) {
  const GrowCase cases[] = {
      {"empty answer", 0, 16, Reports::BytesWritten},
      {"smaller than the buffer", 5, 16, Reports::BytesWritten},
      {"exactly the buffer, written-count style", 16, 16, Reports::BytesWritten},
      {"exactly the buffer, needed-size style", 16, 16, Reports::SizeNeeded},
      {"many times the buffer, written-count style", 5000, 1, Reports::BytesWritten},
      {"many times the buffer, needed-size style", 5000, 3, Reports::SizeNeeded},
      {"zero initial capacity", 7, 0, Reports::SizeNeeded},
  };
  for (const GrowCase& c : cases) {
    SCOPED_TRACE(c.name);
    int calls = 0;
    const auto result = FillGrowingBuffer<int>(
        [&](int* data, std::size_t capacity) {
          ++calls;
          return FakeFill(data, capacity, c);
        },
        c.initial_capacity);
    ASSERT_TRUE(result.has_value());
    std::vector<int> expected(c.answer);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(*result, expected);
    // A buffer that was big enough from the start needs no second call.
    if (c.answer < c.initial_capacity) {
      EXPECT_EQ(calls, 1);
    }
  }
}

TEST(FillGrowingBuffer, AFailedCallIsReportedAsNothing) {
  int calls = 0;
  const auto result = FillGrowingBuffer<int>(
      [&](int*, std::size_t capacity) -> std::optional<std::size_t> {
        // Fails on the retry, after asking for more room.
        if (++calls > 1) return std::nullopt;
        return capacity * 3;
      },
      4);
  EXPECT_FALSE(result.has_value());
  EXPECT_EQ(calls, 2);
}

TEST(FillGrowingBuffer, AnAbsurdSizeEndsTheLoopInsteadOfExhaustingMemory) {
  const auto result = FillGrowingBuffer<char>(
      [](char*, std::size_t) -> std::optional<std::size_t> { return kMaxGrowingBufferElements * 4; }, 8);
  EXPECT_FALSE(result.has_value());
}

}  // namespace
}  // namespace tarvolin
