// A background loop that belongs to a window: it runs until its owner stops it,
// and the owner's Stop returns only once the loop has ended, so the loop never
// outlives the window it talks to.
//
// Threads: Start and Stop on the owner's window thread; the body on its own.
// While Stop waits it still answers messages that other threads send to this
// thread's windows, so a body inside SendMessage to the owner can finish.
#pragma once

#include <windows.h>

#include <functional>

#include "common/unique_handle.h"

namespace tarvolin {

class PushWorker {
 public:
  // The body runs once on the thread; it loops on WaitForStop.
  explicit PushWorker(std::function<void(PushWorker&)> body) : body_(std::move(body)) {}
  ~PushWorker() { Stop(); }
  PushWorker(const PushWorker&) = delete;
  PushWorker& operator=(const PushWorker&) = delete;

  // False when the thread cannot be started. A second Start does nothing.
  bool Start();
  // Asks the body to end and waits for it. Safe to call more than once.
  void Stop();
  bool running() const noexcept { return static_cast<bool>(thread_); }

  // For the body: waits up to `ms`; true when it must end now.
  bool WaitForStop(DWORD ms) const;

 private:
  static DWORD WINAPI Entry(void* self) noexcept;

  std::function<void(PushWorker&)> body_;
  unique_handle stop_;
  unique_handle thread_;
};

}  // namespace tarvolin
