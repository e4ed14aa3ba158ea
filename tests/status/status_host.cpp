// A stand-in for a host program: one window that follows an update from
// another process. Every status message it receives is appended, in order, to
// the record file as one UTF-8 line; texts are read from this process's own
// memory, as a real host reads them.
//
//   status_host.exe <record file> <ready file>
//
// The window handle is written (in decimal) to the ready file once the window
// exists.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "status/status_protocol.h"
#include "status_host_commands.h"

namespace {

namespace sp = tarvolin::status_protocol;
namespace host = tarvolin::testing::status_host;

std::wstring g_record_path;

void AppendRecord(const std::wstring& line) {
  std::wstring with_end = line + L"\n";
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, with_end.c_str(), static_cast<int>(with_end.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, with_end.c_str(), static_cast<int>(with_end.size()), utf8.data(), bytes, nullptr,
                        nullptr);
  HANDLE file = ::CreateFileW(g_record_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
}

// Texts in the fixed buffer are never longer than the buffer; others end with a zero.
std::wstring TextAt(const void* address, std::size_t max_chars) {
  if (!address) return host::kNoText;
  const auto* text = static_cast<const wchar_t*>(address);
  return std::wstring(text, ::wcsnlen(text, max_chars));
}

std::wstring Fields(UINT message, const std::wstring& a, const std::wstring& b = std::wstring()) {
  std::wstring line = std::to_wstring(message) + host::kFieldSeparator + a;
  if (!b.empty()) line += host::kFieldSeparator + b;
  return line;
}

constexpr std::size_t kBufferChars = sp::kTextBufferBytes / sizeof(wchar_t);
constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);

void SetOn(HWND window, const wchar_t* property) {
  ::SetPropW(window, property, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(sp::kPropertyOn)));
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case sp::kStatusChangedMessage:
    case sp::kStatusFileProgressMessage:
    case sp::kStatusProgressMessage:
      AppendRecord(Fields(message, std::to_wstring(static_cast<long>(wparam)), std::to_wstring(static_cast<long>(lparam))));
      return 0;
    case sp::kStatusLogMessage:
      AppendRecord(Fields(message, TextAt(reinterpret_cast<const void*>(wparam), kBufferChars)));
      return 0;
    case sp::kStatusTextMessage:
      AppendRecord(Fields(message, TextAt(reinterpret_cast<const void*>(wparam), kBufferChars),
                          std::to_wstring(static_cast<long>(lparam))));
      return 0;
    case sp::kStatusDescriptionMessage:
      AppendRecord(Fields(message, TextAt(reinterpret_cast<const void*>(lparam), kUnbounded)));
      return 0;
    case host::kRemoveNeedMessages:
      ::RemovePropW(window, sp::kNeedMessagesProperty);
      return 0;
    case host::kSetPaused:
      SetOn(window, sp::kPausedProperty);
      return 0;
    case host::kClearPaused:
      ::RemovePropW(window, sp::kPausedProperty);
      return 0;
    case host::kSetExitWhenKilled:
      SetOn(window, sp::kExitWhenWindowKilledProperty);
      return 0;
    case host::kQuit:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

bool WriteReadyFile(const std::wstring& path, HWND window) {
  std::string text = std::to_string(reinterpret_cast<UINT_PTR>(window));
  std::wstring partial = path + L".partial";
  HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
  // The test reads the file as soon as it appears, so it appears complete.
  return ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv || argc < 3) return 2;
  g_record_path = argv[1];
  const std::wstring ready_path = argv[2];
  ::LocalFree(argv);

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = HostWindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"TarvolinStatusTestHost";
  if (!::RegisterClassW(&window_class)) return 3;
  HWND window = ::CreateWindowW(window_class.lpszClassName, L"status host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, window_class.hInstance, nullptr);
  if (!window || !WriteReadyFile(ready_path, window)) return 4;

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}
