#include "app/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include "app/command_line.h"
#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "pipeline/download_list.h"
#include "updatelist/comparison.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_serialisation.h"
#include "updatelist/list_signature.h"
#include "updatelist/update_list.h"

namespace tarvolin {
namespace {

constexpr wchar_t kElevationRefusedLog[] = L"administrator rights were refused (error %lu); the update stops here";
constexpr wchar_t kHandOverRefusedLog[] =
    L"the work handed to the administrator run is not what the verified list says; nothing is installed";
constexpr wchar_t kElevationFailedLog[] = L"cannot start as administrator (error %lu); the update stops here";

}  // namespace

std::wstring HandOverFilePath() { return CachedListStem() + L".lst"; }

std::wstring ElevatedParameters(const std::wstring& command_line) {
  const std::wstring marker = std::wstring(L"/") + kElevatedMarker;
  return command_line.empty() ? marker : command_line + L" " + marker;
}

unsigned long StartThroughRunAs(const std::wstring& program, const std::wstring& parameters,
                                const std::wstring& folder) {
  SHELLEXECUTEINFOW start{};
  start.cbSize = sizeof start;
  // The error comes back to us instead of into a box of the shell's.
  start.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  start.lpVerb = L"runas";
  start.lpFile = program.c_str();
  start.lpParameters = parameters.c_str();
  start.lpDirectory = folder.c_str();
  start.nShow = SW_SHOWNORMAL;
  if (::ShellExecuteExW(&start)) return ERROR_SUCCESS;
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_CANCELLED;
}

bool RelaunchElevated(bool save_list, const ElevatedStarter& start) {
  std::wstring hand_over = HandOverFilePath();
  ::DeleteFileW(hand_over.c_str());
  if (save_list) WriteWholeFile(hand_over, SerializeDownloadList(CurrentDownLoadList().Snapshot()));

  std::wstring program = ExecutablePath();
  std::wstring parameters = ElevatedParameters(RunParameters().Get(L"commandline"));
  // The elevated run starts in the program's own folder, not the reader-writable book folder.
  std::wstring folder = FolderOf(program);
  const unsigned long error = start(program, parameters, folder);
  if (error != ERROR_SUCCESS) {
    ::DeleteFileW(hand_over.c_str());
    WriteLog(FormatWide(error == ERROR_CANCELLED ? kElevationRefusedLog : kElevationFailedLog, error));
    return false;
  }
  RunParameters().Set(kRunAsAdminKey, kElevatedMarker);
  return true;
}

int LoadHandOverList(const std::wstring& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) return 0;
  DownloadListValues values;
  if (!DeserializeDownloadList(*bytes, values)) return 0;
  CurrentDownLoadList().Restore(values);
  return static_cast<int>(values.records.size());
}

bool HandOverIsVerified() {
  if (!BookListSigningKey().required) return true;
  const std::wstring verified = CachedListStem() + L".verified.xml";
  std::vector<updatefileinfo> remote, installed;
  const bool loaded = RebuildVerifiedList(verified) && LoadUpdateList(verified, remote, true);
  ::DeleteFileW(verified.c_str());
  if (loaded) {
    LoadUpdateList(CollapseBackslashes(ConfigurationFolder() + L"\\" + kInstalledListName), installed, false);
    DownloadListValues expected;
    FillDownloadList(remote, installed, expected);
    if (HandedOverWithin(CurrentDownLoadList().Snapshot(), expected)) return true;
  }
  WriteLog(kHandOverRefusedLog);
  return false;
}

}  // namespace tarvolin
