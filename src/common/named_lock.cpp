#include "common/named_lock.h"

#include <map>
#include <mutex>

#include "common/strings.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

// Each lock is a named mutex, "Lock<id>", so updater processes running at the
// same time share it. A mutex rather than an event: when a process dies while
// holding the lock (killed mid-copy, say), the system hands the lock to the
// next waiter instead of leaving every other updater and host hung on it.
// The handles live for the process: the map owns them and is never emptied.
HANDLE LockFor(long id) {
  static std::mutex guard;
  static std::map<long, unique_handle> events;
  std::lock_guard<std::mutex> hold(guard);
  auto& slot = events[id];
  if (!slot) {
    std::wstring name = FormatWide(L"Lock%ld", id);
    slot.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
  }
  return slot.get();
}

}  // namespace

void AcquireNamedLock(long id) {
  // WAIT_ABANDONED also means we own it now: its last holder died.
  if (HANDLE lock = LockFor(id)) ::WaitForSingleObject(lock, INFINITE);
}

void ReleaseNamedLock(long id) {
  if (HANDLE lock = LockFor(id)) ::ReleaseMutex(lock);
}

}  // namespace tarvolin
