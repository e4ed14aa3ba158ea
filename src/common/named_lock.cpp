#include "common/named_lock.h"

#include <map>
#include <mutex>

#include "common/strings.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

// The events live for the process: the map owns them and is never emptied.
HANDLE EventFor(long id) {
  static std::mutex guard;
  static std::map<long, unique_handle> events;
  std::lock_guard<std::mutex> hold(guard);
  auto& slot = events[id];
  if (!slot) {
    std::wstring name = FormatWide(L"Lock%ld", id);
    slot.reset(::CreateEventW(nullptr, FALSE, TRUE, name.c_str()));
  }
  return slot.get();
}

}  // namespace

void AcquireNamedLock(long id) {
  if (HANDLE event = EventFor(id)) ::WaitForSingleObject(event, INFINITE);
}

void ReleaseNamedLock(long id) {
  if (HANDLE event = EventFor(id)) ::SetEvent(event);
}

}  // namespace tarvolin
