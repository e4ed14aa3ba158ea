#include "download/block_lanes.h"

#include <algorithm>

namespace tarvolin {

LaneTable::LaneTable(const BlockPlan& plan, std::int64_t size, std::int64_t request_span,
                     std::int64_t smallest_takeover)
    : plan_(plan),
      size_(size),
      request_span_(std::max<std::int64_t>(request_span, 1)),
      smallest_takeover_(std::max<std::int64_t>(smallest_takeover, 2)) {}

std::optional<int> LaneTable::StartNextBlock() {
  while (next_block_ < plan_.block_count) {
    int block = next_block_++;
    std::int64_t start = BlockStart(plan_, block);
    std::int64_t length = BlockLength(plan_, size_, block);
    if (length <= 0) continue;
    lanes_.push_back(Lane{block, start, start + length});
    return static_cast<int>(lanes_.size() - 1);
  }
  return std::nullopt;
}

std::optional<int> LaneTable::TakeOver() {
  auto largest = std::max_element(lanes_.begin(), lanes_.end(),
                                  [](const Lane& a, const Lane& b) { return a.end - a.next < b.end - b.next; });
  if (largest == lanes_.end() || largest->end - largest->next < smallest_takeover_) return std::nullopt;
  // The owner keeps the first half; the split lands on a whole piece.
  std::int64_t half = (largest->end - largest->next + 1) / 2;
  half = (half + kTransferPiece - 1) / kTransferPiece * kTransferPiece;
  std::int64_t split = largest->next + half;
  if (split >= largest->end) return std::nullopt;
  Lane taken{largest->block, split, largest->end};
  largest->end = split;
  lanes_.push_back(taken);
  return static_cast<int>(lanes_.size() - 1);
}

ByteSpan LaneTable::ClaimThrough(int id, std::int64_t last) {
  Lane& lane = lanes_[static_cast<std::size_t>(id)];
  ByteSpan span{lane.next, std::clamp(last, lane.next, lane.end - 1)};
  lane.next = span.last + 1;
  return span;
}

std::optional<ByteSpan> LaneTable::ClaimRequest(int id) {
  Lane& lane = lanes_[static_cast<std::size_t>(id)];
  if (lane.next >= lane.end) return std::nullopt;
  ByteSpan span{lane.next, std::min(lane.next + request_span_, lane.end) - 1};
  lane.next = span.last + 1;
  return span;
}

}  // namespace tarvolin
