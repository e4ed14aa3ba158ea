#include "support/process.h"

#include <vector>

#include "common/files.h"
#include "common/unique_handle.h"

namespace tarvolin::testing {

std::wstring BuildOutputFolder() { return FolderOf(ExecutablePath()); }

std::optional<DWORD> RunAndWait(const std::wstring& command_line, DWORD timeout_ms,
                                const std::wstring& working_folder) {
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
  if (::WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 9999);
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

}  // namespace tarvolin::testing
