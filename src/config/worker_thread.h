// The one way the program runs work on a thread of its own. The body runs
// inside a catch-all that logs "<name> stopped on an unexpected error.", and
// the end notice runs last on the worker whatever the body did. Whoever makes
// a worker says what becomes of a run still going when the owner ends:
//  - kWait: the owner's end waits for it;
//  - kStopAndWait: the owner's end asks it to stop (the body reads its
//    StopSignal) and waits for it;
//  - kLetRun: the owner's end does not wait; the run keeps alive what its
//    body and end notice captured (by value or shared), and nothing else.
// While an owner waits it answers what other threads send to its thread's
// windows, so a body inside SendMessage to the owner's window can finish.
//
// Thread affinity: Start, RequestStop and Wait on the owner's thread; the
// body and the end notice on the worker.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/unique_handle.h"

namespace tarvolin {

// A run's stop request, shared by the owner and the body.
class StopSignal {
 public:
  StopSignal() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  void Request() const noexcept { ::SetEvent(event_.get()); }
  bool Requested() const noexcept { return WaitFor(0); }
  // Waits up to `ms`; true when the stop was asked for.
  bool WaitFor(DWORD ms) const noexcept { return ::WaitForSingleObject(event_.get(), ms) == WAIT_OBJECT_0; }

 private:
  unique_handle event_;
};

class WorkerThread {
 public:
  enum class AtOwnerEnd { kWait, kStopAndWait, kLetRun };
  using Body = std::function<void(const StopSignal&)>;

  // `name` begins the log line of a body that throws ("The update worker").
  WorkerThread(AtOwnerEnd at_owner_end, std::wstring name) : at_owner_end_(at_owner_end), name_(std::move(name)) {}
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts a run of `body`, then `ended`; a run before it is waited for
  // first. False when no thread could be made (neither then runs).
  bool Start(Body body, std::function<void()> ended = {});
  // Asks the current run to stop; it ends when its body next looks.
  void RequestStop() const noexcept;
  // Waits for the current run to end; at once when there is none.
  void Wait();
  // Both: asks the current run to stop and waits for its end.
  void Stop() {
    RequestStop();
    Wait();
  }
  // A run was started and not yet waited for (it may have ended already).
  bool started() const noexcept { return static_cast<bool>(thread_); }

 private:
  struct Run;
  static DWORD WINAPI Entry(void* run) noexcept;

  AtOwnerEnd at_owner_end_;
  std::wstring name_;
  std::shared_ptr<StopSignal> stop_;
  unique_handle thread_;
};

}  // namespace tarvolin
