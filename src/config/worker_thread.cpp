#include "config/worker_thread.h"

#include "config/log.h"

namespace tarvolin {

struct WorkerThread::Run {
  std::wstring name;
  Body body;
  std::function<void()> ended;
  std::shared_ptr<StopSignal> stop;
};

WorkerThread::~WorkerThread() {
  switch (at_owner_end_) {
    case AtOwnerEnd::kStopAndWait:
      Stop();
      break;
    case AtOwnerEnd::kWait:
      Wait();
      break;
    case AtOwnerEnd::kLetRun:
      break;  // the run owns what it needs; closing the handle lets it go
  }
}

bool WorkerThread::Start(Body body, std::function<void()> ended) {
  Wait();
  stop_ = std::make_shared<StopSignal>();
  auto* run = new Run{name_, std::move(body), std::move(ended), stop_};
  thread_.reset(::CreateThread(nullptr, 0, &WorkerThread::Entry, run, 0, nullptr));
  if (!thread_) {
    delete run;
    WriteLog(name_ + L" could not be started.");
    return false;
  }
  return true;
}

void WorkerThread::RequestStop() const noexcept {
  if (stop_) stop_->Request();
}

void WorkerThread::Wait() {
  if (!thread_) return;
  HANDLE thread = thread_.get();
  for (;;) {
    const DWORD woke = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + 1) break;  // ended, or the wait itself failed
    // Peeking delivers the messages that other threads sent to this thread's windows.
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  thread_.reset();
}

DWORD WINAPI WorkerThread::Entry(void* argument) noexcept {
  std::unique_ptr<Run> run(static_cast<Run*>(argument));
  try {
    run->body(*run->stop);
  } catch (...) {
    WriteLog(run->name + L" stopped on an unexpected error.");
  }
  try {
    if (run->ended) run->ended();
  } catch (...) {
    WriteLog(run->name + L" could not report its end.");
  }
  return 0;
}

}  // namespace tarvolin
