// A status program for the tests: writes the folder it was started in to
// "<its own path>.ran". It takes its time first, so that a caller that does
// not wait for it returns before the file appears.
#include <windows.h>

#include <string>

int main() {
  ::Sleep(500);
  wchar_t own_path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own_path, MAX_PATH);
  wchar_t folder[MAX_PATH] = {};
  DWORD n = ::GetCurrentDirectoryW(MAX_PATH, folder);
  std::string text;
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(bytes));
  ::WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(n), text.data(), bytes, nullptr, nullptr);

  std::wstring marker = std::wstring(own_path) + L".ran";
  std::wstring partial = marker + L".partial";
  HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
  return ::MoveFileExW(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
