// A host program as an e-book shell would be: it starts the updater with its
// window's number, then prints every status, log line, description and file
// count the updater sends, and finally the updater's exit code.
//   demo_host <path of tarvolin.exe> <mode words...>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr UINT kStatusChanged = 1974;
constexpr UINT kStatusLog = 1975;
constexpr UINT kFileProgress = 1976;
constexpr UINT kDescription = 1977;

const wchar_t* const kStatusNames[] = {
    L"UpdateNone",      L"UpdateCheckRemote", L"UpdateCheckRemoteError", L"UpdateCheckRemoteOk", L"UpdateDownload",
    L"UpdateDownloadError", L"UpdateDownloadOk", L"UpdateCheckLocal", L"UpdateCheckLocalError", L"UpdateCheckLocalOk",
    L"UpdateCopy",      L"UpdateCopyError",   L"UpdateCopyOk",           L"UpdateEnd"};

void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kStatusChanged: {
      int status = static_cast<int>(wparam);
      std::wstring name = status >= 0 && status <= 13 ? kStatusNames[status] : L"?";
      Print(L"  [status] " + std::to_wstring(status) + L" " + name + L" (files due: " + std::to_wstring(lparam) + L")");
      return 0;
    }
    case kStatusLog:
      // The updater wrote the line into a buffer in this process; wParam is its address.
      if (wparam) Print(L"  [log]    " + std::wstring(reinterpret_cast<const wchar_t*>(wparam)));
      return 0;
    case kFileProgress:
      Print(L"  [files]  " + std::to_wstring(wparam) + L"/" + std::to_wstring(lparam));
      return 0;
    case kDescription:
      if (lparam) Print(L"  [news]   " + std::wstring(reinterpret_cast<const wchar_t*>(lparam)));
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    Print(L"usage: demo_host <tarvolin.exe> [mode words]");
    return 2;
  }
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &HostProc;
  window_class.lpszClassName = L"DemoHostWindow";
  window_class.hInstance = GetModuleHandleW(nullptr);
  RegisterClassW(&window_class);
  HWND window = CreateWindowW(L"DemoHostWindow", L"demo host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  for (int i = 2; i < argc; ++i) command += L" " + std::wstring(argv[i]);
  command += L" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(window));
  Print(L"  host runs: " + command);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    Print(L"  could not start the updater");
    return 1;
  }
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  Print(L"  updater exit code: " + std::to_wstring(code));
  DestroyWindow(window);
  return 0;
}
