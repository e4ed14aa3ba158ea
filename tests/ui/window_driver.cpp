#include "window_driver.h"

#include <map>
#include <memory>
#include <utility>

namespace tarvolin::testing {
namespace {

// Pending actions of this thread's timers, by timer id.
std::map<UINT_PTR, std::function<void()>>& Pending() {
  static thread_local std::map<UINT_PTR, std::function<void()>> pending;
  return pending;
}

void CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  auto found = Pending().find(id);
  if (found == Pending().end()) return;
  std::function<void()> action = std::move(found->second);
  Pending().erase(found);
  action();
}

}  // namespace

void AfterDelay(UINT delay_ms, std::function<void()> action) {
  UINT_PTR id = ::SetTimer(nullptr, 0, delay_ms, &RunPending);
  Pending()[id] = std::move(action);
}

INT_PTR DriveModal(const std::function<INT_PTR()>& run_modal, const std::function<void()>& script,
                   const std::function<void()>& end_window) {
  AfterDelay(50, [&] {
    script();
    end_window();
  });
  return run_modal();
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start >= timeout_ms) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // Leave it for the modal loop that owns it.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return done();
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

}  // namespace tarvolin::testing
