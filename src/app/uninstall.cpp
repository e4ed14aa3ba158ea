#include "app/uninstall.h"

#include <windows.h>

#include "app/elevation.h"
#include "common/files.h"
#include "common/path_rules.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "install/locked_files.h"
#include "install/old_files.h"
#include "install/release_return.h"
#include "install/rights_list.h"
#include "updatelist/comparison.h"
#include "updatelist/destination_paths.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/update_list.h"

namespace tarvolin {
namespace {

constexpr std::size_t kShortestRemovableFolder = 4;  // "C:\x": a drive root is never removed

void RemoveFileAndEmptyFolders(const std::wstring& path, bool list_verified) {
  const std::wstring book_folder = ConfigurationFolder();
  if (!UninstallMayDelete(path, book_folder, list_verified)) {
    WriteLog(FormatWide(L"not removed[%ls]: outside the book folder, named by an unverified list", path.c_str()));
    return;
  }
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
  // Removing a folder that still holds something fails harmlessly.
  for (std::wstring folder = ParentFolderOf(path);
       folder.size() >= kShortestRemovableFolder && UninstallMayDelete(folder, book_folder, list_verified);
       folder = ParentFolderOf(folder))
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

bool UninstallMayDelete(const std::wstring& path, const std::wstring& book_folder, bool list_verified) {
  return list_verified || IsInsideFolder(path, book_folder);
}

std::wstring ParentFolderOf(const std::wstring& path) {
  std::wstring trimmed = path;
  while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
  return FolderOf(trimmed);
}

void UninstallFiles() {
  WaitFileWritable(ConfigurationFilePath(), false);
  if (ElevatedRun()) RightsList().Clear();
  if (!RightsList().Empty()) {
    RelaunchElevated(true);
    return;
  }
  DeleteTree(CachedListStem());

  const std::wstring installed_list = CollapseBackslashes(ConfigurationFolder() + L"\\" + kInstalledListName);
  // With a key, the list is rebuilt from the verified copies the update kept
  // beside it; only a list that verifies may name files outside the book folder.
  const std::wstring verified_list = installed_list + L".verified";
  const bool list_verified = RestoreVerifiedList(installed_list, verified_list);
  std::vector<updatefileinfo> records;
  if (LoadUpdateList(list_verified ? verified_list : installed_list, records, false)) {
    for (const auto& record : records) {
      if (!IsFileRecord(record)) continue;
      for (const auto& target : DestinationPaths(record)) RemoveFileAndEmptyFolders(target, list_verified);
    }
  }
  ::DeleteFileW(verified_list.c_str());
  ForgetSignedCopies(installed_list);
  if (std::wstring log = LogFilePath(); !log.empty()) ::DeleteFileW(log.c_str());
  ::DeleteFileW(OldFilesListPath().c_str());
  ::DeleteFileW(ReturnJournalPath().c_str());
  ::DeleteFileW(installed_list.c_str());
}

}  // namespace tarvolin
