// What each run mode does once start-up has chosen it.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

// Result of InitInstance and, for the check modes, the count behind the exit code.
struct ModeOutcome {
  bool init_result = false;
};

ModeOutcome DispatchMode(const std::wstring& mode, HWND host_window);

int RunCheckOnly(HWND parent);
void RunUpdateWindow(HWND parent);
int PromptAndUpdate();
int RunAppEnter(const std::wstring& mode);
int RunSilent(HWND host_window);
void ClearListCache();
void FinishRun(int start_mode);

}  // namespace tarvolin
