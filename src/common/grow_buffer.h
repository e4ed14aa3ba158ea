// The grow-the-buffer-and-retry loop, written once for every system call that
// fills a caller's array and says how much it would have needed (process and
// module lists, adapter lists, profile strings).
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

namespace tarvolin {

// Largest buffer the loop will offer, in elements; an answer that claims more
// is treated as a failure rather than exhausting memory.
inline constexpr std::size_t kMaxGrowingBufferElements = std::size_t{1} << 24;

// Calls `fill(data, capacity)` with ever larger buffers. `fill` returns the
// number of elements the complete answer needs, or nothing when the call
// failed. An answer that does not stay below the capacity may have been cut
// short (several APIs cannot tell "exactly full" from "too small"), so the call
// is repeated with a larger buffer until it fits. The result holds exactly the
// elements of the answer.
template <typename T, typename Fill>
std::optional<std::vector<T>> FillGrowingBuffer(Fill fill, std::size_t initial_capacity) {
  std::size_t capacity = std::max<std::size_t>(initial_capacity, 1);
  std::vector<T> buffer;
  while (capacity <= kMaxGrowingBufferElements) {
    buffer.assign(capacity, T{});
    const std::optional<std::size_t> needed = fill(buffer.data(), capacity);
    if (!needed) return std::nullopt;
    if (*needed < capacity) {
      buffer.resize(*needed);
      return buffer;
    }
    capacity = std::max(capacity * 2, *needed + 1);
  }
  return std::nullopt;
}

}  // namespace tarvolin
