#include <windows.h>

#include "app/update_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything can load a library: system libraries come from System32
  // only, never from the current folder or the program's (a reader-writable
  // book folder would let anyone plant one for the elevated run). Looked up,
  // not imported: a Windows 7 without the update that brings it would not
  // start the program at all.
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  if (auto set = reinterpret_cast<SetDirectories>(
          reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))))
    set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  tarvolin::CUpdateApp app;
  // A run whose mode ran ends with the code Run returns; one that ended early,
  // with ExitInstance's. ExitInstance always runs last; both follow one rule.
  const bool mode_ran = app.InitInstance();
  const int run_code = mode_ran ? app.Run() : 0;
  const int exit_code = app.ExitInstance();
  const int code = mode_ran ? run_code : exit_code;
  // A helper thread given up after a time-out may still be inside a transfer.
  // Ending the process here stops it before the runtime destroys anything at
  // exit, so a late thread can neither crash the exit nor change the code the
  // host reads.
  ::ExitProcess(static_cast<UINT>(code));
}
