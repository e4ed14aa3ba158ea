#include "install/return_rules.h"

#include <initializer_list>

#include "common/path_rules.h"
#include "common/strings.h"
#include "install/backup_rules.h"

namespace tarvolin {
namespace {

// Tabs cannot occur in a path, so they separate the fields of a line.
constexpr wchar_t kField = L'\t';
constexpr wchar_t kLineEnd = L'\n';
constexpr wchar_t kHeader[] = L"tarvolin journal 1";
constexpr wchar_t kListKind[] = L"L";
constexpr wchar_t kFolderKind[] = L"F";
constexpr wchar_t kPlacingKind[] = L"P";
constexpr wchar_t kPlacedKind[] = L"G";
constexpr wchar_t kCancelKind[] = L"X";
constexpr wchar_t kReturningKind[] = L"R";

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

std::wstring Line(std::initializer_list<std::wstring_view> fields) {
  std::wstring line;
  for (std::wstring_view field : fields) {
    if (!line.empty()) line += kField;
    line += field;
  }
  return line + kLineEnd;
}

// Applies one line after the header; false for a line that is none of ours.
bool ApplyLine(const std::vector<std::wstring>& fields, InstallJournal& journal) {
  const std::wstring& kind = fields[0];
  if (kind == kListKind && fields.size() == 2) {
    std::optional<long long> length = ParseLength(fields[1]);
    if (!length) return false;
    journal.old_files_list_length = *length;
  } else if (kind == kFolderKind && fields.size() == 2 && !fields[1].empty()) {
    journal.created_folders.push_back(fields[1]);
  } else if (kind == kPlacingKind && fields.size() == 3 && !fields[1].empty()) {
    journal.files.push_back({fields[1], fields[2], L""});
  } else if ((kind == kPlacedKind && fields.size() == 3) || (kind == kCancelKind && fields.size() == 2)) {
    // Always about the change announced just before.
    if (journal.files.empty() || journal.files.back().destination != fields[1]) return false;
    if (kind == kPlacedKind) {
      journal.files.back().give_back = fields[2];
    } else {
      journal.files.pop_back();
    }
  } else if (kind == kReturningKind && fields.size() == 1) {
    journal.returning = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::wstring JournalHeaderLines(long long old_files_list_length) {
  return Line({kHeader}) + Line({kListKind, std::to_wstring(old_files_list_length)});
}
std::wstring CreatedFolderLine(const std::wstring& folder) { return Line({kFolderKind, folder}); }
std::wstring PlacingLine(const std::wstring& destination, const std::wstring& backup) {
  return Line({kPlacingKind, destination, backup});
}
std::wstring PlacedLine(const std::wstring& destination, const std::wstring& give_back) {
  return Line({kPlacedKind, destination, give_back});
}
std::wstring CancelLine(const std::wstring& destination) { return Line({kCancelKind, destination}); }
std::wstring ReturningLine() { return Line({kReturningKind}); }

std::wstring JournalText(const InstallJournal& journal) {
  std::wstring text = JournalHeaderLines(journal.old_files_list_length);
  for (const std::wstring& folder : journal.created_folders) text += CreatedFolderLine(folder);
  for (const PlacedFile& file : journal.files) {
    text += PlacingLine(file.destination, file.backup);
    if (!file.give_back.empty()) text += PlacedLine(file.destination, file.give_back);
  }
  if (journal.returning) text += ReturningLine();
  return text;
}

std::optional<InstallJournal> ParseJournal(std::wstring_view text) {
  std::vector<std::wstring> lines = Split(text, kLineEnd);
  lines.pop_back();  // after the last line break: empty, or a line cut short
  if (lines.empty() || lines.front() != kHeader) return std::nullopt;
  InstallJournal journal;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (!ApplyLine(Split(lines[i], kField), journal)) return std::nullopt;
  }
  return journal;
}

InstallJournal TrustedPart(const InstallJournal& journal, const std::wstring& application_folder,
                           const std::wstring& download_folder, std::vector<std::wstring>& skipped) {
  InstallJournal trusted;
  trusted.old_files_list_length = journal.old_files_list_length;
  trusted.returning = journal.returning;
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
