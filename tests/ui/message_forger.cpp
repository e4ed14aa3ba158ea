// Sends one window message from a process of its own, the way any program on
// the desktop can: message_forger <window> <message> wparam|lparam <value|own>.
// "own" puts the address of a text of this process into the parameter (an
// address that means nothing, or something else, in the receiver's process).
// Exit code 0 when the window answered, 2 when it did not, 1 on bad arguments.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  static const wchar_t kForgedText[] = L"|7|javascript:alert(1)|javascript:alert(2)|http://x/|0|0|5|0|0";
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments || count != 5) return 1;
  HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::wcstoull(arguments[1], nullptr, 0)));
  const UINT message = static_cast<UINT>(std::wcstoul(arguments[2], nullptr, 0));
  const bool in_wparam = std::wcscmp(arguments[3], L"wparam") == 0;
  const UINT_PTR value = std::wcscmp(arguments[4], L"own") == 0 ? reinterpret_cast<UINT_PTR>(kForgedText)
                                                                : static_cast<UINT_PTR>(std::wcstoull(arguments[4], nullptr, 0));
  DWORD_PTR answer = 0;
  const LRESULT sent = ::SendMessageTimeoutW(window, message, in_wparam ? value : 1, in_wparam ? 0 : value,
                                             SMTO_ABORTIFHUNG, 20000, &answer);
  ::LocalFree(arguments);
  return sent ? 0 : 2;
}
