#include "host/connectivity_probe.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "config/worker_thread.h"

namespace tarvolin {
namespace {

// Shared by the caller and the checking thread; the thread keeps its share
// after the caller gave up waiting.
struct ProbeResult {
  std::mutex guard;
  std::condition_variable finished_changed;
  bool finished = false;
  bool reached = false;
};

void CheckConnection(const std::shared_ptr<ProbeResult>& result, const std::wstring& url) {
  const bool reached = ::InternetCheckConnectionW(url.c_str(), FLAG_ICC_FORCE_CONNECTION, 0) != FALSE;
  std::lock_guard<std::mutex> hold(result->guard);
  result->reached = reached;
  result->finished = true;
  result->finished_changed.notify_all();
}

}  // namespace

bool ProbeConnection(const std::wstring& url, unsigned wait_ms) {
  auto result = std::make_shared<ProbeResult>();
  // The check may outlast the wait: it is let run, holding its own share.
  WorkerThread probe(WorkerThread::AtOwnerEnd::kLetRun, L"The connectivity probe");
  if (!probe.Start([result, url](const StopSignal&) { CheckConnection(result, url); })) return false;
  std::unique_lock<std::mutex> hold(result->guard);
  result->finished_changed.wait_for(hold, std::chrono::milliseconds(wait_ms), [&] { return result->finished; });
  return result->finished && result->reached;
}

}  // namespace tarvolin
