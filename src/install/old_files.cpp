#include "install/old_files.h"

#include <windows.h>

#include <algorithm>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"
#include "install/backup_rules.h"
#include "install/release_return.h"

namespace tarvolin {
namespace {

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

bool IsLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// False, with a log line, for an entry the purge must leave alone.
bool MayDispose(const std::wstring& backup, const std::wstring& application_folder) {
  const wchar_t* reason = nullptr;
  switch (JudgeListedBackup(backup, application_folder)) {
    case ListedBackup::NotABackup:
      reason = L"not a backup name";
      break;
    case ListedBackup::OutsideFolder:
      reason = L"not inside the application folder";
      break;
    case ListedBackup::Ours:
      if (PassesThroughLink(application_folder, backup)) reason = L"reached through a link";
      break;
  }
  if (reason == nullptr) return true;
  WriteLog(FormatWide(L"skip listed file[%ls]: %ls", backup.c_str(), reason));
  return false;
}

}  // namespace

bool PassesThroughLink(const std::wstring& application_folder, const std::wstring& path) {
  std::wstring folder = application_folder;
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  if (IsLink(folder)) return true;
  const std::wstring rest = path.substr(folder.size() + 1);
  const std::vector<std::wstring> parts = Split(ReplaceAll(rest, L"/", L"\\"), L'\\');
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    folder += L"\\" + parts[i];
    if (IsLink(folder)) return true;
  }
  return false;
}

std::wstring OldFilesListPath() { return CollapseBackslashes(ConfigurationFolder() + kOldFilesListName); }

std::vector<std::wstring> ParseOldFilesList(std::string_view bytes) {
  std::vector<std::wstring> paths;
  for (const std::wstring& line : Split(Utf8ToWide(bytes), L'\n')) {
    std::wstring path = Trim(line);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
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
  FinishInterruptedReturn();
  const std::vector<std::wstring> held = BackupsHeldForReturn();
  const std::wstring list = OldFilesListPath();
  std::optional<std::string> bytes = ReadWholeFile(list);
  if (!bytes) return;
  bool all_done = true;
  // Newest first: when one original has several backups and is itself gone,
  // the one moved aside last is the one it had last.
  // An entry skipped now would be skipped at every start, so it does not keep
  // the list alive.
  const std::wstring application_folder = ConfigurationFolder();
  const std::vector<std::wstring> backups = ParseOldFilesList(*bytes);
  for (auto it = backups.rbegin(); it != backups.rend(); ++it) {
    if (std::find(held.begin(), held.end(), *it) != held.end() && FileExists(OriginalOfBackup(*it))) {
      all_done = false;  // a return may still need it
      continue;
    }
    if (MayDispose(*it, application_folder) && !DisposeOfBackup(*it)) all_done = false;
  }
  if (!all_done) return;
  ::SetFileAttributesW(list.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(list.c_str());
}

}  // namespace tarvolin
