// Process-wide locks by integer id, for what updater processes running at the
// same time really share (the log file). Each id is a named mutex "Lock<id>",
// so a lock whose holder died is handed on. Acquire and release on the same
// thread (the scoped holder below does). Never hold one across a
// SendMessageW: a hung receiver would then stall every other updater.
//
// When the name cannot be had (an object of another type already carries it,
// or the system refuses), the lock falls back to an in-process one: threads
// of this process still keep each other out, other processes no longer do,
// and the holder is told so once, to be logged.
#pragma once

namespace tarvolin {

namespace lock_ids {
inline constexpr long kLog = 0xC0001;
}  // namespace lock_ids

enum class LockReach {
  kAllProcesses,       // the named mutex is held
  kThisProcess,        // fallen back: only threads of this process are kept out
  kThisProcessNewly,   // as kThisProcess, the first time for this id: report it
};

LockReach AcquireNamedLock(long id);
void ReleaseNamedLock(long id);
// The system error that made the id fall back, or 0.
unsigned long NamedLockError(long id);

// Scoped holder: acquires on construction, releases on destruction.
class NamedLock {
 public:
  explicit NamedLock(long id) : id_(id), reach_(AcquireNamedLock(id)) {}
  ~NamedLock() { ReleaseNamedLock(id_); }
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  LockReach reach() const { return reach_; }

 private:
  long id_;
  LockReach reach_;
};

}  // namespace tarvolin
