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

}  // namespace tarvolin::testing
