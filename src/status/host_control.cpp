#include "status/host_control.h"

#include <atomic>

#include "status/status_protocol.h"
#include "status/status_rules.h"

namespace tarvolin {
namespace {

namespace sp = status_protocol;

constexpr DWORD kPausePollMs = 100;

// Whether the host asked to end the run with its window. Process-wide because
// the pause points of a run are separate calls and the window may disappear
// between two of them, taking its properties with it.
struct HostExitRequest {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> armed{false};
};

HostExitRequest& RememberedHostExitRequest() {
  // Never destroyed: threads may still use it while the process ends.
  static HostExitRequest* request = new HostExitRequest;
  return *request;
}

bool PropertyIsOn(HWND window, const wchar_t* name) {
  return reinterpret_cast<INT_PTR>(::GetPropW(window, name)) == sp::kPropertyOn;
}

HostObservation Observe(HWND host_window) {
  HostObservation seen;
  seen.window_exists = ::IsWindow(host_window) != FALSE;
  if (seen.window_exists) {
    seen.exit_when_killed = PropertyIsOn(host_window, sp::kExitWhenWindowKilledProperty);
    seen.paused = PropertyIsOn(host_window, sp::kPausedProperty);
  }
  return seen;
}

}  // namespace

bool WaitWhileHostPaused(HWND host_window) {
  if (!host_window) return false;
  HostExitRequest& request = RememberedHostExitRequest();
  if (request.window.exchange(host_window) != host_window) request.armed = false;
  for (;;) {
    bool armed = request.armed;
    HostStep step = NextHostStep(Observe(host_window), armed);
    request.armed = armed;
    if (step == HostStep::kEndRun) return true;
    if (step == HostStep::kGoOn) return false;
    ::Sleep(kPausePollMs);
  }
}

}  // namespace tarvolin
