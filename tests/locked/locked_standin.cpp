// A stand-in for the programs the locked-file check meets, started by the tests:
//   locked_standin window polite|stubborn|refuse <ready event> <release event>
//       a visible main window; "polite" closes on WM_CLOSE (exit code 7),
//       "stubborn" agrees to the end-of-session query but ignores WM_CLOSE and
//       WM_QUIT, "refuse" answers the end-of-session query with FALSE. The
//       release event ends any of them (exit code 5).
//   locked_standin hold <file> <ready event> <release event>
//       holds the file open without sharing until released.
//   locked_standin wait <ready event> <release event>
//       just runs until released.
// Every mode ends by itself after a while, so a failed test leaves nothing behind.
#include <windows.h>

#include <string>
#include <thread>

namespace {

constexpr UINT kLifetimeMs = 120000;
constexpr int kPoliteExitCode = 7;
constexpr int kUsageExitCode = 2;
constexpr int kOpenFailedExitCode = 3;
constexpr int kReleasedExitCode = 5;
constexpr wchar_t kWindowClass[] = L"TarvolinLockedStandIn";

enum class Behaviour { Polite, Stubborn, Refuse };
Behaviour g_behaviour = Behaviour::Polite;

void SignalEvent(const wchar_t* name) {
  HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
  if (event) {
    ::SetEvent(event);
    ::CloseHandle(event);
  }
}

void WaitForEvent(const wchar_t* name) {
  HANDLE event = ::OpenEventW(SYNCHRONIZE, FALSE, name);
  if (!event) return;
  ::WaitForSingleObject(event, kLifetimeMs);
  ::CloseHandle(event);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return g_behaviour == Behaviour::Refuse ? FALSE : TRUE;
    case WM_CLOSE:
      if (g_behaviour == Behaviour::Stubborn) return 0;
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(kPoliteExitCode);
      return 0;
    case WM_TIMER:
      ::ExitProcess(1);
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// Ends the whole stand-in, window loop and all, once the test releases it.
void EndOnRelease(const wchar_t* release) {
  WaitForEvent(release);
  ::ExitProcess(kReleasedExitCode);
}

int RunWindow(const std::wstring& behaviour, const wchar_t* ready, const wchar_t* release) {
  if (behaviour == L"stubborn") g_behaviour = Behaviour::Stubborn;
  else if (behaviour == L"refuse") g_behaviour = Behaviour::Refuse;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, kWindowClass, L"Stand-in e-book", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  100, nullptr, nullptr, window_class.hInstance, nullptr);
  if (!window) return kUsageExitCode;
  ::SetTimer(window, 1, kLifetimeMs, nullptr);
  std::thread(&EndOnRelease, release).detach();
  SignalEvent(ready);
  MSG message;
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) return 1;
    if (got == 0) {
      if (g_behaviour == Behaviour::Stubborn) continue;  // a program that will not quit
      return static_cast<int>(message.wParam);
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

int HoldFile(const wchar_t* path, const wchar_t* ready, const wchar_t* release) {
  HANDLE file = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kOpenFailedExitCode;
  SignalEvent(ready);
  WaitForEvent(release);
  ::CloseHandle(file);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"window" && argc == 5) return RunWindow(argv[2], argv[3], argv[4]);
  if (mode == L"hold" && argc == 5) return HoldFile(argv[2], argv[3], argv[4]);
  if (mode == L"wait" && argc == 4) {
    SignalEvent(argv[2]);
    WaitForEvent(argv[3]);
    return 0;
  }
  return kUsageExitCode;
}
