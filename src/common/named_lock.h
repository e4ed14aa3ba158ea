// Process-wide locks by integer id. Each id is a named mutex "Lock<id>", so
// updater processes running at the same time share a lock, and a lock whose
// holder died is handed on. Acquire and release on the same thread (the scoped
// holder below does).
#pragma once

namespace tarvolin {

namespace lock_ids {
inline constexpr long kRecordArrays = 0xB0001;
inline constexpr long kLog = 0xC0001;
}  // namespace lock_ids

void AcquireNamedLock(long id);
void ReleaseNamedLock(long id);

// Scoped holder: acquires on construction, releases on destruction.
class NamedLock {
 public:
  explicit NamedLock(long id) : id_(id) { AcquireNamedLock(id_); }
  ~NamedLock() { ReleaseNamedLock(id_); }
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

 private:
  long id_;
};

}  // namespace tarvolin
