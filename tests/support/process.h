// Starting real programs from tests.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarvolin::testing {

// Folder of the running test program (where the build puts every executable).
std::wstring BuildOutputFolder();

// Runs `command_line` and waits for it; the exit code, or nothing when it could
// not start or did not end within the time-out.
std::optional<DWORD> RunAndWait(const std::wstring& command_line, DWORD timeout_ms,
                                const std::wstring& working_folder = L"");

// Same, but keeps dispatching this thread's messages while waiting, so the
// program may send messages to windows of this thread.
std::optional<DWORD> RunAndWaitPumping(const std::wstring& command_line, DWORD timeout_ms);

}  // namespace tarvolin::testing
