// Runs a modal window of the program on the test thread and drives it from
// inside its own message loop, as a person or the reading page would.
#pragma once

#include <windows.h>

#include <functional>

namespace tarvolin::testing {

// Calls `script` once, from a thread timer, while `run_modal` (which must
// start a modal loop on this thread) is running. Returns what `run_modal`
// returned. `script` must end the window; if it returns without doing so
// (a failed assertion), `end_window` is called.
INT_PTR DriveModal(const std::function<INT_PTR()>& run_modal, const std::function<void()>& script,
                   const std::function<void()>& end_window);

// Calls `action` once after `delay_ms`, from a thread timer: it runs inside
// whichever modal loop (a message box's) is running then.
void AfterDelay(UINT delay_ms, std::function<void()> action);

// Dispatches this thread's messages for `ms` milliseconds.
void PumpFor(DWORD ms);
// Dispatches messages until `done` or `timeout_ms`; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);

}  // namespace tarvolin::testing
