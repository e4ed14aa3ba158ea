#include "install/old_files.h"

#include <windows.h>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

constexpr wchar_t kBackupSuffix[] = L".__old";
constexpr std::string_view kLineBreak = "\r\n";

// True when the backup is gone afterwards, one way or the other.
bool DisposeOfBackup(const std::wstring& backup) {
  if (!FileExists(backup)) return true;
  // Only files are ever moved aside; a folder under a listed name is not ours.
  if (DirectoryExists(backup)) return true;
  const std::wstring original = OriginalOfBackup(backup);
  if (!original.empty() && !FileExists(original)) {
    if (::MoveFileW(backup.c_str(), original.c_str())) {
      WriteLog(FormatWide(L"restore backup[%ls]to[%ls]", backup.c_str(), original.c_str()));
      return true;
    }
    WriteLog(FormatWide(L"restore backup error[%ls]to[%ls]", backup.c_str(), original.c_str()));
    return false;
  }
  ::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileW(backup.c_str())) return true;
  WriteLog(FormatWide(L"delete backup error[%ls]", backup.c_str()));
  return false;
}

}  // namespace

std::wstring OldFilesListPath() { return CollapseBackslashes(ConfigurationFolder() + kOldFilesListName); }

std::vector<std::wstring> ParseOldFilesList(std::string_view bytes) {
  std::vector<std::wstring> paths;
  for (const std::wstring& line : Split(Utf8ToWide(bytes), L'\n')) {
    std::wstring path = Trim(line);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

std::wstring OriginalOfBackup(const std::wstring& backup) {
  const std::size_t at = backup.rfind(kBackupSuffix);
  if (at == std::wstring::npos || at == 0) return std::wstring();
  const std::size_t tail = at + std::char_traits<wchar_t>::length(kBackupSuffix);
  const bool plain = tail == backup.size();
  const bool numbered = tail + 1 == backup.size() && backup[tail] >= L'0' && backup[tail] <= L'9';
  if (!plain && !numbered) return std::wstring();
  const std::wstring original = backup.substr(0, at);
  // "C:\dir\.__old" has no file name left to restore to.
  if (original.back() == L'\\' || original.back() == L'/' || original.back() == L':') return std::wstring();
  return original;
}

bool RecordOldFile(const std::wstring& path) {
  const std::wstring list = OldFilesListPath();
  unique_hfile file(::CreateFileW(list.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string line(kLineBreak);
  line += WideToUtf8(path);
  DWORD written = 0;
  if (!file || !::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size()) {
    WriteLog(FormatWide(L"cannot record backup[%ls]in[%ls]", path.c_str(), list.c_str()));
    return false;
  }
  return true;
}

void PurgeOldFiles() {
  const std::wstring list = OldFilesListPath();
  std::optional<std::string> bytes = ReadWholeFile(list);
  if (!bytes) return;
  bool all_done = true;
  // Newest first: when one original has several backups and is itself gone,
  // the one moved aside last is the one it had last.
  const std::vector<std::wstring> backups = ParseOldFilesList(*bytes);
  for (auto it = backups.rbegin(); it != backups.rend(); ++it) {
    if (!DisposeOfBackup(*it)) all_done = false;
  }
  if (!all_done) return;
  ::SetFileAttributesW(list.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(list.c_str());
}

}  // namespace tarvolin
