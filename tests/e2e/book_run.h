// What the end-to-end tests share: where the test book lives, which loopback
// port its build asks for its configuration, and a host window that records
// the statuses the program announces.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "support/process.h"

namespace tarvolin::e2e {

inline std::wstring BookFolder() { return WindowsFolder().substr(0, 3) + L"Brennoak\\Vosmir\\TarvolinE2EBook"; }
inline std::wstring InBook(const std::wstring& name) { return BookFolder() + L"\\" + name; }
inline std::wstring Program() { return L"\"" + testing::BuildOutputFolder() + L"\\tarvolin_testbook.exe\""; }

inline std::optional<unsigned short> LoopbackPort(const std::wstring& server) {
  const std::wstring prefix = L"http://127.0.0.1:";
  if (!StartsWith(server, prefix)) return std::nullopt;
  return static_cast<unsigned short>(ParseDecimal(server.substr(prefix.size())));
}

// `size` bytes of text that tell one file's content from another's.
inline std::string Bytes(const std::string& name, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += name + std::to_string(bytes.size()) + ",";
  bytes.resize(size);
  return bytes;
}

// The host program's window: it records every status it is told, in order.
class StatusHost {
 public:
  static constexpr UINT kStatusChanged = 1974;

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
  bool Saw(int status) const { return std::find(statuses.begin(), statuses.end(), status) != statuses.end(); }
  std::vector<int> statuses;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kStatusChanged) {
      if (auto* host = reinterpret_cast<StatusHost*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
        host->statuses.push_back(static_cast<int>(wparam));
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
  HWND window_ = nullptr;
};

// True when `part` occurs in `whole` in order, with anything between.
inline bool IsSubsequence(const std::vector<int>& whole, const std::vector<int>& part) {
  auto it = whole.begin();
  for (int value : part) {
    it = std::find(it, whole.end(), value);
    if (it == whole.end()) return false;
    ++it;
  }
  return true;
}

}  // namespace tarvolin::e2e
