#include "install/return_rules.h"

#include "common/path_rules.h"
#include "common/strings.h"
#include "install/backup_rules.h"

namespace tarvolin {
namespace {

// Tabs cannot occur in a path, so they separate the fields of a line.
constexpr wchar_t kField = L'\t';
constexpr wchar_t kHeader[] = L"tarvolin return 1";
constexpr wchar_t kClosing[] = L"end";
constexpr wchar_t kFileKind[] = L"P";
constexpr wchar_t kFolderKind[] = L"F";
constexpr wchar_t kListKind[] = L"L";

bool IsBackupOf(const std::wstring& backup, const std::wstring& destination) {
  return backup.empty() || OriginalOfBackup(backup) == destination;
}

std::optional<long long> ParseLength(const std::wstring& text) {
  if (text == L"-1") return -1;
  if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos || text.size() > 18) {
    return std::nullopt;
  }
  return ParseDecimal(text);
}

}  // namespace

std::wstring JournalText(const InstallJournal& journal) {
  std::wstring text = std::wstring(kHeader) + L"\n";
  text += std::wstring(kListKind) + kField + std::to_wstring(journal.old_files_list_length) + L"\n";
  for (const std::wstring& folder : journal.created_folders) text += std::wstring(kFolderKind) + kField + folder + L"\n";
  for (const PlacedFile& file : journal.files) {
    text += std::wstring(kFileKind) + kField + file.destination + kField + file.backup + kField + file.give_back + L"\n";
  }
  return text + kClosing + L"\n";
}

std::optional<InstallJournal> ParseJournal(std::wstring_view text) {
  std::vector<std::wstring> lines = Split(text, L'\n');
  for (std::wstring& line : lines) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() < 2 || lines.front() != kHeader || lines.back() != kClosing) return std::nullopt;
  InstallJournal journal;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::vector<std::wstring> fields = Split(lines[i], kField);
    if (fields.size() == 2 && fields[0] == kListKind) {
      std::optional<long long> length = ParseLength(fields[1]);
      if (!length) return std::nullopt;
      journal.old_files_list_length = *length;
    } else if (fields.size() == 2 && fields[0] == kFolderKind && !fields[1].empty()) {
      journal.created_folders.push_back(fields[1]);
    } else if (fields.size() == 4 && fields[0] == kFileKind && !fields[1].empty()) {
      journal.files.push_back({fields[1], fields[2], fields[3]});
    } else {
      return std::nullopt;
    }
  }
  return journal;
}

InstallJournal TrustedPart(const InstallJournal& journal, const std::wstring& application_folder,
                           const std::wstring& download_folder, std::vector<std::wstring>& skipped) {
  InstallJournal trusted;
  trusted.old_files_list_length = journal.old_files_list_length;
  for (const std::wstring& folder : journal.created_folders) {
    if (IsInsideFolder(folder, application_folder)) {
      trusted.created_folders.push_back(folder);
    } else {
      skipped.push_back(folder);
    }
  }
  for (PlacedFile file : journal.files) {
    if (!IsInsideFolder(file.destination, application_folder) || !IsBackupOf(file.backup, file.destination)) {
      skipped.push_back(file.destination);
      continue;
    }
    if (!IsInsideFolder(file.give_back, download_folder)) file.give_back.clear();
    trusted.files.push_back(std::move(file));
  }
  return trusted;
}

ReturnAction DecideReturn(const PlacedFile& file, const PlacedFileState& state) {
  ReturnAction action;
  if (!file.backup.empty()) {
    if (state.backup) action.step = ReturnStep::kPutBackupBack;
  } else if (state.destination) {
    action.step = ReturnStep::kRemoveAdded;
  }
  action.give_back =
      action.step != ReturnStep::kNothing && !file.give_back.empty() && state.destination && !state.give_back;
  return action;
}

}  // namespace tarvolin
