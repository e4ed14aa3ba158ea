// The counters that the block threads of every transfer share, keyed by
// (kind, transfer id). The table belongs to this process alone, so an
// in-process lock guards it: a named object would let an updater that dies
// while holding it hang the transfers of every other updater in the session.
#pragma once

#include <cstdint>

namespace tarvolin {

namespace registry_kinds {
// add(kIdCounter, 0, 1) hands out the next transfer id (ids start at 1).
inline constexpr std::uint32_t kIdCounter = 0xE0000;
// kStopValue once any part of the transfer failed; never cleared.
inline constexpr std::uint32_t kStopFlag = 0xE0001;
inline constexpr std::uint32_t kBytesReceived = 0xE0002;  // whole file, within [0, size]
inline constexpr std::uint32_t kRunningBlocks = 0xE0003;
// OR the block index into it: bytes received for that block, within [0, size].
inline constexpr std::uint32_t kBlockBytes = 0xD0000000u;
}  // namespace registry_kinds

inline constexpr std::int64_t kStopValue = 9999;

class TransferRegistry {
 public:
  // The process's table. It is never destroyed, so a thread still reporting
  // while the process exits finds it in place.
  static TransferRegistry& Instance();

  // 0 when absent.
  std::int64_t Get(std::uint32_t kind, long id);
  // Storing 0 removes the entry.
  void Set(std::uint32_t kind, long id, std::int64_t value);
  // Absent counts as 0; returns the new value.
  std::int64_t Add(std::uint32_t kind, long id, std::int64_t delta);
  // Add, then keep the result within [0, limit]; one step under the lock so
  // that blocks reporting at the same time do not lose each other's bytes.
  std::int64_t AddClamped(std::uint32_t kind, long id, std::int64_t delta, std::int64_t limit);

  long NextTransferId() { return static_cast<long>(Add(registry_kinds::kIdCounter, 0, 1)); }
  bool Stopped(long id) { return Get(registry_kinds::kStopFlag, id) == kStopValue; }
  void Stop(long id) { Set(registry_kinds::kStopFlag, id, kStopValue); }

 private:
  TransferRegistry() = default;
};

}  // namespace tarvolin
