#include "status/update_status.h"

#include <array>
#include <atomic>

#include "config/settings.h"
#include "install/run_file.h"
#include "status/status_rules.h"
#include "status/status_windows.h"

namespace tarvolin {
namespace {

constexpr std::array<const wchar_t*, 14> kStatusNames{
    L"UpdateNone",         L"UpdateCheckRemote",     L"UpdateCheckRemoteError", L"UpdateCheckRemoteOk",
    L"UpdateDownload",     L"UpdateDownloadError",   L"UpdateDownloadOk",       L"UpdateCheckLocal",
    L"UpdateCheckLocalError", L"UpdateCheckLocalOk", L"UpdateCopy",             L"UpdateCopyError",
    L"UpdateCopyOk",       L"UpdateEnd"};

std::atomic<int>& StatusValue() {
  static std::atomic<int> value{UpdateNone};
  return value;
}

std::atomic<int>& RecordCount() {
  static std::atomic<int> value{0};
  return value;
}

}  // namespace

std::wstring StatusName(int status) {
  if (status < 0 || status >= static_cast<int>(kStatusNames.size())) return std::wstring();
  return kStatusNames[static_cast<std::size_t>(status)];
}

int CurrentStatus() { return StatusValue().load(); }
int RecordsToUpdate() { return RecordCount().load(); }
void SetRecordsToUpdate(int count) { RecordCount() = count; }

void SetStatus(int status, HWND report_window) {
  AnnounceStatusToWindows(status, RecordsToUpdate());
  StatusValue() = status;

  StatusPrograms programs = StatusProgramsFor(status, ReadSetting);
  if (!programs.start.empty()) RunFile(programs.start, L"", L"", false, report_window);
  if (!programs.start_and_wait.empty()) RunFile(programs.start_and_wait, L"", L"", true, report_window);
}

}  // namespace tarvolin
