// Stands in for another process's host window in the update queue: a window
// of the shared class whose "downloadStatus" the test moves from outside.
// Usage: queue_holder <initial status>. The window ends on WM_CLOSE; the
// property is changed with the registered message "queue_holder.set".
#include <windows.h>

#include <cwchar>

namespace {

UINT SetMessage() { return ::RegisterWindowMessageW(L"queue_holder.set"); }

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == SetMessage()) {
    ::SetPropW(window, L"downloadStatus", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(wparam)));
    return 1;
  }
  if (message == WM_DESTROY) {
    ::RemovePropW(window, L"downloadStatus");
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &Proc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"brennoak_Install_MainClass";
  if (!::RegisterClassExW(&window_class)) return 2;
  HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"queue holder", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, instance, nullptr);
  if (!window) return 3;
  ::SetPropW(window, L"downloadStatus",
             reinterpret_cast<HANDLE>(static_cast<INT_PTR>(std::wcstol(arguments, nullptr, 10))));
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
