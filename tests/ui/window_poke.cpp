// Pokes the e-book host window from outside as a person at the tray icon
// would, for screenshots; or writes where the window is, so that a drag can
// find its edge. Usage: window_poke restore|maximise|rect OUT_FILE
#include <windows.h>

#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  HWND window = nullptr;
  for (int i = 0; i < 300 && !window; ++i, ::Sleep(100)) window = ::FindWindowW(L"brennoak_Install_MainClass", nullptr);
  if (!window) return 1;
  constexpr UINT kTrayCallback = 0x2341;
  if (const wchar_t* out = std::wcsstr(arguments, L"rect ")) {
    RECT rect{};
    if (!::GetWindowRect(window, &rect)) return 1;
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right,
                                     rect.bottom);
    HANDLE file = ::CreateFileW(out + 5, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(file);
    return wrote ? 0 : 1;
  }
  if (std::wcsstr(arguments, L"restore")) {
    // A double click on the tray icon shows the window restored.
    ::SendMessageW(window, kTrayCallback, 0, WM_LBUTTONDBLCLK);
  } else {
    // A single click shows it in its current mode (maximised at first).
    ::SendMessageW(window, kTrayCallback, 0, WM_LBUTTONDOWN);
  }
  return 0;
}
