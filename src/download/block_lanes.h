// Who fetches which bytes of a block download. The plan's blocks are handed
// out in order; each running block is a lane that asks for its bytes as a run
// of closed requests. When no block waits, a free connection takes over the
// untouched second half of the largest lane, so no connection idles while
// bytes remain and no byte is ever asked for twice. Lanes only ever shrink at
// their unclaimed end, so a split never cuts a request that is under way.
//
// No locking here: the download that owns the table guards it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "download/transfer_rules.h"

namespace tarvolin {

// Inclusive byte span [first, last] of the file.
struct ByteSpan {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t length() const { return last - first + 1; }
};

struct Lane {
  int block = 0;
  std::int64_t next = 0;  // first byte not yet claimed by a request
  std::int64_t end = 0;   // one past the lane's last byte
};

class LaneTable {
 public:
  LaneTable(const BlockPlan& plan, std::int64_t size, std::int64_t request_span = kRequestSpan,
            std::int64_t smallest_takeover = kSmallestTakeover);

  // A lane for the next block of the plan; nothing once every block started.
  std::optional<int> StartNextBlock();
  // A lane made of the second half of the largest unclaimed tail; nothing
  // when every tail is too small to be worth a connection.
  std::optional<int> TakeOver();
  // Claims the lane's bytes up to `last` (inclusive) for a request already
  // under way: the first request of a download, sent before the plan existed.
  ByteSpan ClaimThrough(int lane, std::int64_t last);
  // The lane's next request, claimed; nothing when the lane is done.
  std::optional<ByteSpan> ClaimRequest(int lane);

  const Lane& lane(int id) const { return lanes_[static_cast<std::size_t>(id)]; }
  std::int64_t BlockStartOf(int block) const { return BlockStart(plan_, block); }

 private:
  BlockPlan plan_;
  std::int64_t size_;
  std::int64_t request_span_;
  std::int64_t smallest_takeover_;
  int next_block_ = 0;
  std::vector<Lane> lanes_;
};

}  // namespace tarvolin
