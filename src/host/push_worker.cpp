#include "host/push_worker.h"

#include "config/log.h"

namespace tarvolin {

bool PushWorker::Start() {
  if (thread_) return true;
  stop_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stop_) return false;
  thread_.reset(::CreateThread(nullptr, 0, &PushWorker::Entry, this, 0, nullptr));
  return static_cast<bool>(thread_);
}

void PushWorker::Stop() {
  if (!thread_) return;
  ::SetEvent(stop_.get());
  HANDLE thread = thread_.get();
  for (;;) {
    const DWORD woke = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + 1) break;  // ended, or the wait itself failed
    // Peeking delivers the messages that other threads sent to this thread's windows.
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  thread_.reset();
  stop_.reset();
}

bool PushWorker::WaitForStop(DWORD ms) const { return ::WaitForSingleObject(stop_.get(), ms) == WAIT_OBJECT_0; }

DWORD WINAPI PushWorker::Entry(void* self) noexcept {
  auto* worker = static_cast<PushWorker*>(self);
  try {
    worker->body_(*worker);
  } catch (...) {
    WriteLog(L"A push message thread ended on an error.");
  }
  return 0;
}

}  // namespace tarvolin
