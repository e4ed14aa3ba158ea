// A program for the task tests; its first argument chooses the role:
//   marker <file> <delay ms> [words...]  waits, then writes "<current folder>|<words>" to <file>
//   append <file> <word>                  appends the word to <file>
//   gate <event name> <file>              waits (at most a minute) for the named event, then writes <file>
//   window <ready file>                   shows a window until it is closed
//   refuse <ready file>                   the same, but refuses to end the session
//   idle <ready file>                     shows nothing and sleeps until it is ended
// Files are written whole under a temporary name and then renamed, so a test
// never reads half a file.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kWindowClass[] = L"TarvolinTaskTestWindow";
constexpr DWORD kGateWaitMs = 60000;

std::string Utf8(const std::wstring& text) {
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
  const std::wstring partial = path + L".partial";
  HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool AppendTo(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok != FALSE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_QUERYENDSESSION && ::GetWindowLongPtrW(window, GWLP_USERDATA) != 0) return FALSE;
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

int ShowWindowUntilClosed(const std::wstring& ready_file, bool refuse) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, kWindowClass, L"task test window", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                  nullptr, window_class.hInstance, nullptr);
  if (!window) return 2;
  ::SetWindowLongPtrW(window, GWLP_USERDATA, refuse ? 1 : 0);
  ::ShowWindow(window, SW_SHOWNORMAL);
  if (!WriteWhole(ready_file, "ready")) return 3;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** raw = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> args(raw, raw + count);
  ::LocalFree(raw);
  if (args.size() < 3) return 1;
  const std::wstring& role = args[1];

  if (role == L"marker" && args.size() >= 4) {
    ::Sleep(static_cast<DWORD>(_wtoi(args[3].c_str())));
    wchar_t folder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring text = std::wstring(folder) + L"|";
    for (std::size_t i = 4; i < args.size(); ++i) text += (i > 4 ? L" " : L"") + args[i];
    return WriteWhole(args[2], Utf8(text)) ? 0 : 4;
  }
  if (role == L"append" && args.size() >= 4) return AppendTo(args[2], Utf8(args[3])) ? 0 : 4;
  if (role == L"gate" && args.size() >= 4) {
    HANDLE gate = ::OpenEventW(SYNCHRONIZE, FALSE, args[2].c_str());
    if (gate) {
      ::WaitForSingleObject(gate, kGateWaitMs);
      ::CloseHandle(gate);
    }
    return WriteWhole(args[3], "through") ? 0 : 4;
  }
  if (role == L"window") return ShowWindowUntilClosed(args[2], false);
  if (role == L"refuse") return ShowWindowUntilClosed(args[2], true);
  if (role == L"idle") {
    if (!WriteWhole(args[2], "ready")) return 3;
    for (;;) ::Sleep(1000);
  }
  return 1;
}
