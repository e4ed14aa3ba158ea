// Stands in for the e-book: notes in its own folder that it was started.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring marker = path;
  marker = marker.substr(0, marker.find_last_of(L'\\')) + L"\\ebook-was-started.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char text[] = "the e-book stand-in ran\r\n";
  DWORD written = 0;
  WriteFile(file, text, sizeof text - 1, &written, nullptr);
  CloseHandle(file);
  return 0;
}
