#include "install/run_file.h"

#include <shellapi.h>

#include "common/files.h"
#include "common/has_suffix.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/translation_loader.h"
#include "config/path_macros.h"
#include "config/settings.h"
#include "install/task_script.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"

namespace tarvolin {
namespace {

constexpr wchar_t kRunFileText[] = L"Run file";
constexpr wchar_t kTaskScriptSuffix[] = L".xml";
// "Without a practical time limit", and still a value every platform accepts.
constexpr DWORD kRunWaitMs = 0x7FFFFFFF;

}  // namespace

void ReportTaskStatus(HWND report_window, const std::wstring& text) {
  if (report_window) SendStatusText(report_window, text, status_protocol::kNoProgress);
  WriteLog(text);
}

bool StartWithShell(const std::wstring& path, const std::wstring& parameters, const std::wstring& working_folder,
                    bool wait) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // No error boxes: a run without a window must not stop on one; the failure goes to the log.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpFile = path.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  // A program runs in its own folder unless told otherwise, never in ours.
  const bool full_path = path.size() > 2 && (path[1] == L':' || (path[0] == L'\\' && path[1] == L'\\'));
  const std::wstring folder = !working_folder.empty() ? working_folder : full_path ? FolderOf(path) : L"";
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    WriteLog(FormatWide(L"Could not start [%ls], error %lu", path.c_str(), ::GetLastError()));
    return false;
  }
  unique_handle process(info.hProcess);
  if (wait && process) ::WaitForSingleObject(process.get(), kRunWaitMs);
  return true;
}

std::wstring RunFileStatusText(const std::wstring& path, const std::wstring& parameters) {
  std::wstring text = Translate(kRunFileText) + L"[" + path + L"]";
  if (!parameters.empty()) text += L"[" + parameters + L"]";
  return text;
}

bool IsTaskScriptName(const std::wstring& path) { return HasSuffix(path, kTaskScriptSuffix); }

bool RunFile(const std::wstring& file, const std::wstring& parameters, const std::wstring& working_folder, bool wait,
             HWND report_window) {
  const std::wstring path = ResolvePath(ConfigurationFolder(), file);
  if (IsTaskScriptName(path)) return RunTaskScript(path, report_window);
  const bool full_path = path.size() > 2 && (path[1] == L':' || (path[0] == L'\\' && path[1] == L'\\'));
  const std::wstring folder = !working_folder.empty() ? working_folder : full_path ? FolderOf(path) : L"";
  ReportTaskStatus(report_window, RunFileStatusText(path, parameters));
  if (!FileExists(path) || DirectoryExists(path)) return false;
  return StartWithShell(path, parameters, folder, wait);
}

}  // namespace tarvolin
