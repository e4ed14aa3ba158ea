#include "app/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include "app/command_line.h"
#include "common/files.h"
#include "common/process_state.h"
#include "config/settings.h"
#include "pipeline/download_list.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_serialisation.h"

namespace tarvolin {

std::wstring HandOverFilePath() { return CachedListStem() + L".lst"; }

std::wstring ElevatedParameters(const std::wstring& command_line) {
  const std::wstring marker = std::wstring(L"/") + kElevatedMarker;
  return command_line.empty() ? marker : command_line + L" " + marker;
}

void RelaunchElevated(bool save_list) {
  std::wstring hand_over = HandOverFilePath();
  ::DeleteFileW(hand_over.c_str());
  if (save_list) WriteWholeFile(hand_over, SerializeDownloadList(CurrentDownLoadList().Snapshot()));

  std::wstring program = ExecutablePath();
  std::wstring parameters = ElevatedParameters(RunParameters().Get(L"commandline"));
  std::wstring folder = ConfigurationFolder();
  ::ShellExecuteW(nullptr, L"runas", program.c_str(), parameters.c_str(), folder.c_str(), SW_SHOWNORMAL);
  RunParameters().Set(kRunAsAdminKey, kElevatedMarker);
}

int LoadHandOverList(const std::wstring& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) return 0;
  DownloadListValues values;
  if (!DeserializeDownloadList(*bytes, values)) return 0;
  CurrentDownLoadList().Restore(values);
  return static_cast<int>(values.records.size());
}

}  // namespace tarvolin
