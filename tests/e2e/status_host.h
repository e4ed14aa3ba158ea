// What the end-to-end tests share: the host window that records the statuses
// the program reports, and the loopback port of this build's servers.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/strings.h"

namespace tarvolin::testing {

inline constexpr UINT kStatusChangedMessage = 1974;

// The port of an "http://127.0.0.1:<port>" server; nothing for any other host.
inline std::optional<unsigned short> LoopbackPort(const std::wstring& server) {
  const std::wstring prefix = L"http://127.0.0.1:";
  if (!StartsWith(server, prefix)) return std::nullopt;
  return static_cast<unsigned short>(ParseDecimal(server.substr(prefix.size())));
}

// True when `part` appears in `whole` in this order, other values between.
inline bool IsSubsequence(const std::vector<int>& whole, const std::vector<int>& part) {
  auto it = whole.begin();
  for (int value : part) {
    it = std::find(it, whole.end(), value);
    if (it == whole.end()) return false;
    ++it;
  }
  return true;
}

// The host program's window: it records every status it is told, in order.
class StatusHost {
 public:
  StatusHost() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &StatusHost::Proc;
    window_class.lpszClassName = L"E2EStatusHost";
    window_class.hInstance = GetModuleHandleW(nullptr);
    RegisterClassW(&window_class);
    window_ = CreateWindowW(L"E2EStatusHost", L"host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~StatusHost() { DestroyWindow(window_); }
  StatusHost(const StatusHost&) = delete;
  StatusHost& operator=(const StatusHost&) = delete;
  HWND window() const { return window_; }
  // The " silence <window>" arguments that make the program report to this host.
  std::wstring SilenceArguments() const {
    return FormatWide(L" silence %lu", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(window_)));
  }
  bool Saw(int status) const { return std::find(statuses.begin(), statuses.end(), status) != statuses.end(); }
  // Takes this thread's messages until `wanted` has been seen in this order, or
  // `milliseconds` have passed: a relaunched run reports after its starter ended.
  void PumpUntilSeen(const std::vector<int>& wanted, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds && !IsSubsequence(statuses, wanted)) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(10);
    }
  }
  std::vector<int> statuses;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kStatusChangedMessage) {
      auto* host = reinterpret_cast<StatusHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (host) host->statuses.push_back(static_cast<int>(wparam));
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
  HWND window_ = nullptr;
};

}  // namespace tarvolin::testing
