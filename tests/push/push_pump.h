// Waiting in the push tests while this thread's windows keep answering.
#pragma once

#include <windows.h>

#include <chrono>

namespace tarvolin::testing {

// Dispatches this thread's messages until `done` or `limit`; returns done().
template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::Sleep(10);
  }
  return true;
}

inline void PumpFor(std::chrono::milliseconds span) {
  PumpUntil([] { return false; }, span);
}

}  // namespace tarvolin::testing
