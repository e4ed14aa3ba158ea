// Process-wide locks by integer id. Each id is an auto-reset event named
// "Lock<id>", so updater processes running at the same time share a lock.
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
