#include "common/named_lock.h"

#include <map>
#include <mutex>

#include "common/strings.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

// One lock id: the named mutex, or, when it could not be created, the
// in-process lock that stands in for it.
struct LockSlot {
  unique_handle mutex;
  std::mutex fallback;
  DWORD error = 0;
  bool reported = false;
};

// Each lock is a named mutex, "Lock<id>". A mutex rather than an event: when a
// process dies while holding the lock (killed mid-copy, say), the system hands
// the lock to the next waiter instead of leaving every other updater hung on
// it. The slots live for the process: the map is never emptied, never
// destroyed (a thread still logging at exit may need its slot), and its nodes
// keep their addresses.
class LockTable {
 public:
  LockSlot& SlotFor(long id) {
    std::lock_guard<std::mutex> hold(guard_);
    auto [it, created] = slots_.try_emplace(id);
    LockSlot& slot = it->second;
    if (created) {
      const std::wstring name = FormatWide(L"Lock%ld", id);
      slot.mutex.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
      if (!slot.mutex) slot.error = ::GetLastError();
    }
    return slot;
  }

  // True once per fallen-back slot: the first holder reports it.
  bool TakeReport(LockSlot& slot) {
    std::lock_guard<std::mutex> hold(guard_);
    if (slot.reported) return false;
    slot.reported = true;
    return true;
  }

 private:
  std::mutex guard_;
  std::map<long, LockSlot> slots_;
};

LockTable& Locks() {
  static LockTable* table = new LockTable;
  return *table;
}

}  // namespace

LockReach AcquireNamedLock(long id) {
  LockSlot& slot = Locks().SlotFor(id);
  if (slot.mutex) {
    // WAIT_ABANDONED also means we own it now: its last holder died.
    const DWORD waited = ::WaitForSingleObject(slot.mutex.get(), INFINITE);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return LockReach::kAllProcesses;
  }
  // No named mutex to hold: a failure is never taken for "locked".
  slot.fallback.lock();
  return Locks().TakeReport(slot) ? LockReach::kThisProcessNewly : LockReach::kThisProcess;
}

void ReleaseNamedLock(long id) {
  LockSlot& slot = Locks().SlotFor(id);
  // Succeeds only for the owner; a holder that got no mutex holds the fallback.
  if (slot.mutex && ::ReleaseMutex(slot.mutex.get())) return;
  slot.fallback.unlock();
}

unsigned long NamedLockError(long id) { return Locks().SlotFor(id).error; }

}  // namespace tarvolin
