// A small updater for the interruption tests: it plays the stages before the
// copy with the release folder standing in for the server, then runs the copy
// stage on a window of its own.
//
//   install_child <configuration folder> <release folder> [stop]
//
// The release folder holds "list.xml" and the files under their record paths.
// Before the copy the list is "fetched" (copied to the cached list path), the
// installed list compared with it, and every due file that is not parked yet is
// "downloaded" (copied to the download folder as <path>_, whole, then renamed).
// `stop` ends the process abruptly, as a kill would, at a chosen moment:
//   record:N   when the copy announces record N
//   text:T     when a status text containing T arrives
// or, instead of stopping, slows it down where a kill is to land:
//   pace:T     pauses 250 ms after each status text containing T ("|" between
//              several), as a slow disk would
// Exit codes: 0 the copy stage ended with UpdateCopyOk, 1 it did not,
// 2 bad arguments, kStoppedExitCode when stopped on purpose.
#include <windows.h>

#include <string>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/window_texts.h"
#include "config/settings.h"
#include "download/transfer_messages.h"
#include "install/old_files.h"
#include "pipeline/copy_stage.h"
#include "pipeline/download_list.h"
#include "pipeline/scheduler.h"
#include "status/status_protocol.h"
#include "status/update_status.h"
#include "updatelist/comparison.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/update_list.h"
#include "updatelist/xml_dom.h"

namespace {

constexpr UINT kStoppedExitCode = 3;
constexpr wchar_t kRecordStop[] = L"record:";
constexpr wchar_t kTextStop[] = L"text:";
constexpr wchar_t kPace[] = L"pace:";
constexpr DWORD kPaceMs = 250;

std::wstring g_stop;  // this test program's own seam; the product knows nothing of it

void StopNow() { ::TerminateProcess(::GetCurrentProcess(), kStoppedExitCode); }

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == tarvolin::transfer_messages::kCopyProgress && tarvolin::StartsWith(g_stop, kRecordStop) &&
      std::to_wstring(wparam) == g_stop.substr(std::wcslen(kRecordStop))) {
    StopNow();
  }
  if (message == tarvolin::status_protocol::kStatusTextMessage && tarvolin::StartsWith(g_stop, kTextStop)) {
    // A window of the updater's own process gets the text's parking key.
    const auto text = tarvolin::ParkedText(message, wparam);
    if (text && tarvolin::Contains(*text, g_stop.substr(std::wcslen(kTextStop)))) StopNow();
  }
  if (message == tarvolin::status_protocol::kStatusTextMessage && tarvolin::StartsWith(g_stop, kPace)) {
    const auto text = tarvolin::ParkedText(message, wparam);
    for (const std::wstring& part : tarvolin::Split(g_stop.substr(std::wcslen(kPace)), L'|')) {
      if (text && !part.empty() && tarvolin::Contains(*text, part)) {
        ::Sleep(kPaceMs);
        break;
      }
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateReportWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"TarvolinInstallChild";
  ::RegisterClassW(&window_class);
  return ::CreateWindowW(window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         window_class.hInstance, nullptr);
}

// Copies whole, then renames, as the downloader parks its files.
bool CopyWhole(const std::wstring& from, const std::wstring& to) {
  tarvolin::CreateDirectoryTree(tarvolin::FolderOf(to));
  const std::wstring partial = to + L".partial";
  return ::CopyFileW(from.c_str(), partial.c_str(), FALSE) &&
         ::MoveFileExW(partial.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool PrepareUpdate(const std::wstring& release) {
  using namespace tarvolin;
  const std::wstring cached = CachedListPath();
  if (!CopyWhole(release + L"\\list.xml", cached)) return false;
  std::vector<updatefileinfo> remote;
  std::vector<updatefileinfo> installed;
  if (!LoadUpdateList(cached, remote, true)) return false;
  const std::wstring installed_list = ConfigurationFolder() + kInstalledListName;
  if (FileExists(installed_list)) LoadUpdateList(installed_list, installed, false);
  DownloadListValues list;
  FillDownloadList(remote, installed, list);
  CurrentDownLoadList().Restore(list);
  for (const updatefileinfo& record : list.records) {
    if (record.action & ActionDelete) continue;
    const std::wstring parked = CollapseBackslashes(DownloadFolder() + L"\\" + record.path) + L"_";
    if (!FileExists(parked) && !CopyWhole(release + L"\\" + record.path, parked)) return false;
  }
  SetRecordsToUpdate(static_cast<int>(list.records.size()));
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace tarvolin;
  if (argc < 3) return 2;
  if (argc > 3) g_stop = argv[3];
  SetConfigurationFolder(std::wstring(argv[1]) + L"\\");
  ComThreadScope com;
  PurgeOldFiles();
  if (!PrepareUpdate(argv[2])) return 1;
  HWND window = CreateReportWindow();
  SetStatus(UpdateCheckLocalOk, window);
  InstallUpdate(window);
  return CurrentStatus() == UpdateCopyOk ? 0 : 1;
}
