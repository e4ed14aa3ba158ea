// Pokes the e-book host window from outside as a person at the tray icon
// would, for screenshots. Usage: window_poke restore|maximise
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  HWND window = nullptr;
  for (int i = 0; i < 300 && !window; ++i, ::Sleep(100)) window = ::FindWindowW(L"brennoak_Install_MainClass", nullptr);
  if (!window) return 1;
  constexpr UINT kTrayCallback = 0x2341;
  if (std::wcsstr(arguments, L"restore")) {
    // A double click on the tray icon shows the window restored.
    ::SendMessageW(window, kTrayCallback, 0, WM_LBUTTONDBLCLK);
  } else {
    // A single click shows it in its current mode (maximised at first).
    ::SendMessageW(window, kTrayCallback, 0, WM_LBUTTONDOWN);
  }
  return 0;
}
