#include "install/backup_rules.h"

#include "common/path_rules.h"

namespace tarvolin {

std::wstring BackupName(const std::wstring& destination, int attempt) {
  if (attempt < 0) return destination + L".__old";
  return destination + L".__old" + std::to_wstring(attempt);
}

std::wstring OriginalOfBackup(const std::wstring& backup) {
  const std::size_t at = backup.rfind(L".__old");
  if (at == std::wstring::npos || at == 0) return std::wstring();
  const std::wstring original = backup.substr(0, at);
  // "C:\dir\.__old" has no file name left to restore to.
  if (original.back() == L'\\' || original.back() == L'/' || original.back() == L':') return std::wstring();
  // Exactly the names the copy stage gives, no others.
  for (int attempt = -1; attempt < kNumberedBackups; ++attempt) {
    if (BackupName(original, attempt) == backup) return original;
  }
  return std::wstring();
}

ListedBackup JudgeListedBackup(const std::wstring& backup, const std::wstring& application_folder) {
  const std::wstring original = OriginalOfBackup(backup);
  if (original.empty()) return ListedBackup::NotABackup;
  return IsInsideFolder(original, application_folder) ? ListedBackup::Ours : ListedBackup::OutsideFolder;
}

}  // namespace tarvolin
