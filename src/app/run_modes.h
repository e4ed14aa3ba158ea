// What each run mode does once start-up has chosen it.
#pragma once

#include <windows.h>

#include <string>

#include "app/elevation.h"

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
// The whole update without a window. `start_elevated` starts the elevated
// copy when files need administrator rights (a refused prompt cannot be made
// to happen on demand, so tests hand in their own).
int RunSilent(HWND host_window, const ElevatedStarter& start_elevated = StartThroughRunAs);
void ClearListCache();
void FinishRun(int start_mode);

}  // namespace tarvolin
