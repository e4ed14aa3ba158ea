// A stand-in for the e-book application: writes "started.txt" into its working
// folder with the command line it was given, then ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  HANDLE file = CreateFileW(L"started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, command_line, static_cast<DWORD>(lstrlenW(command_line) * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  return 0;
}
