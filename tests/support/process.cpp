#include "support/process.h"

#include <vector>

#include "common/files.h"
#include "common/unique_handle.h"

namespace tarvolin::testing {

std::wstring BuildOutputFolder() { return FolderOf(ExecutablePath()); }

namespace {

// Waits for the process; with `pump`, this thread's messages are dispatched meanwhile.
std::optional<DWORD> StartAndWait(const std::wstring& command_line, DWORD timeout_ms,
                                  const std::wstring& working_folder, bool pump) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::vector<wchar_t> mutable_line(command_line.begin(), command_line.end());
  mutable_line.push_back(L'\0');
  if (!::CreateProcessW(nullptr, mutable_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        working_folder.empty() ? nullptr : working_folder.c_str(), &startup, &info))
    return std::nullopt;
  unique_handle process(info.hProcess);
  unique_handle thread(info.hThread);
  DWORD started = ::GetTickCount();
  for (;;) {
    DWORD waited = ::GetTickCount() - started;
    if (waited >= timeout_ms) break;
    HANDLE handles[] = {process.get()};
    DWORD r = pump ? ::MsgWaitForMultipleObjects(1, handles, FALSE, timeout_ms - waited, QS_ALLINPUT)
                   : ::WaitForSingleObject(process.get(), timeout_ms - waited);
    if (r == WAIT_OBJECT_0) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  if (::WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 9999);
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

}  // namespace

std::optional<DWORD> RunAndWait(const std::wstring& command_line, DWORD timeout_ms,
                                const std::wstring& working_folder) {
  return StartAndWait(command_line, timeout_ms, working_folder, false);
}

std::optional<DWORD> RunAndWaitPumping(const std::wstring& command_line, DWORD timeout_ms) {
  return StartAndWait(command_line, timeout_ms, L"", true);
}

}  // namespace tarvolin::testing
