#include "install/release_return.h"

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "install/file_replacement.h"
#include "install/old_files.h"
#include "install/run_file.h"
#include "updatelist/list_cache_name.h"

namespace tarvolin {
namespace {

constexpr wchar_t kReturnText[] = L"Return to the previous release";
constexpr wchar_t kRestoreText[] = L"Restore file";
constexpr wchar_t kRemoveText[] = L"Remove file";
constexpr wchar_t kPartialSuffix[] = L".partial";
constexpr DWORD kPutBackFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
constexpr DWORD kParkFlags = kPutBackFlags | MOVEFILE_COPY_ALLOWED;

void Announce(HWND report_window, const wchar_t* text, const std::wstring& path) {
  ReportTaskStatus(report_window, Translate(text) + L"[" + path + L"]");
}

bool IsPlainFile(const std::wstring& path) { return !path.empty() && FileExists(path) && !DirectoryExists(path); }

void RemoveJournal() {
  const std::wstring path = ReturnJournalPath();
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

// The new file goes back to the download folder under its parked name.
void ParkAgain(const PlacedFile& file) {
  CreateDirectoryTree(FolderOf(file.give_back));
  ::SetFileAttributesW(file.destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(file.destination.c_str(), file.give_back.c_str(), kParkFlags)) {
    WriteLog(FormatWide(L"cannot park[%ls]again as[%ls]", file.destination.c_str(), file.give_back.c_str()));
  }
}

// A staged file left by a change that was cut short.
void RemoveStaged(const PlacedFile& file) {
  const std::wstring staged = file.destination + kStagedSuffix;
  if (!IsPlainFile(staged)) return;
  ::SetFileAttributesW(staged.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(staged.c_str());
}

bool PutBackupBack(const PlacedFile& file, HWND report_window) {
  const DWORD attributes = ::GetFileAttributesW(file.backup.c_str());
  if (FileExists(file.destination)) ::SetFileAttributesW(file.destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(file.backup.c_str(), file.destination.c_str(), kPutBackFlags)) {
    WriteLog(FormatWide(L"restore file error[%ls]to[%ls]", file.backup.c_str(), file.destination.c_str()));
    return false;
  }
  // A backup linked to a destination that never changed is another name of
  // the same file, and a move between the two may change nothing.
  if (IsPlainFile(file.backup)) ::DeleteFileW(file.backup.c_str());
  ::SetFileAttributesW(file.destination.c_str(), attributes);
  Announce(report_window, kRestoreText, file.destination);
  return true;
}

bool RemoveAdded(const PlacedFile& file, HWND report_window) {
  ::SetFileAttributesW(file.destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::DeleteFileW(file.destination.c_str()) && FileExists(file.destination)) {
    WriteLog(FormatWide(L"remove file error[%ls]", file.destination.c_str()));
    return false;
  }
  Announce(report_window, kRemoveText, file.destination);
  return true;
}

// True when the entry is as before the copy afterwards.
bool ReturnOne(const PlacedFile& file, HWND report_window) {
  const PlacedFileState state{IsPlainFile(file.destination), IsPlainFile(file.backup), IsPlainFile(file.give_back)};
  const ReturnAction action = DecideReturn(file, state);
  RemoveStaged(file);
  if (action.give_back) ParkAgain(file);
  switch (action.step) {
    case ReturnStep::kNothing:
      return true;
    case ReturnStep::kPutBackupBack:
      return PutBackupBack(file, report_window);
    case ReturnStep::kRemoveAdded:
      return RemoveAdded(file, report_window);
  }
  return false;
}

// Backups are only ever appended to the list, so its part from the length
// before the copy on holds the copy's backups. Those that were put back go
// from the list; one that stayed (a second name of a running program, which
// goes only when the program ends) stays listed for the next start.
void CutOldFilesList(long long length_before) {
  const std::wstring list = OldFilesListPath();
  std::optional<std::string> bytes = ReadWholeFile(list);
  const std::size_t kept_length = length_before < 0 ? 0 : static_cast<std::size_t>(length_before);
  if (!bytes || bytes->size() <= kept_length) return;
  std::string kept = bytes->substr(0, kept_length);
  for (const std::wstring& backup : ParseOldFilesList(std::string_view(*bytes).substr(kept_length))) {
    if (FileExists(backup)) kept += "\r\n" + WideToUtf8(backup);
  }
  ::SetFileAttributesW(list.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (kept.empty() && length_before < 0) {
    ::DeleteFileW(list.c_str());
    return;
  }
  const std::wstring partial = list + kPartialSuffix;
  if (!WriteWholeFile(partial, kept) || !::MoveFileExW(partial.c_str(), list.c_str(), kPutBackFlags)) {
    ::DeleteFileW(partial.c_str());
    WriteLog(FormatWide(L"cannot shorten[%ls]", list.c_str()));
  }
}

bool CarryOutReturn(const InstallJournal& journal, HWND report_window) {
  bool all_back = true;
  for (auto it = journal.files.rbegin(); it != journal.files.rend(); ++it) {
    if (!ReturnOne(*it, report_window)) all_back = false;
  }
  // Only folders the copy created, and only when they are empty again.
  for (auto it = journal.created_folders.rbegin(); it != journal.created_folders.rend(); ++it) {
    ::RemoveDirectoryW(it->c_str());
  }
  if (!all_back) {
    WriteLog(FormatWide(L"the return is not complete; the next start finishes it from[%ls]",
                        ReturnJournalPath().c_str()));
    return false;
  }
  CutOldFilesList(journal.old_files_list_length);
  RemoveJournal();
  return true;
}

// The pending journal as far as it may be acted on.
std::optional<InstallJournal> PendingJournal() {
  std::optional<std::string> bytes = ReadWholeFile(ReturnJournalPath());
  if (!bytes) return std::nullopt;
  std::optional<InstallJournal> journal = ParseJournal(Utf8ToWide(*bytes));
  if (!journal) {
    // Never one of ours: ours holds only lines of known kinds.
    WriteLog(FormatWide(L"skip unreadable journal[%ls]", ReturnJournalPath().c_str()));
    RemoveJournal();
    return std::nullopt;
  }
  const std::wstring application_folder = ConfigurationFolder();
  std::vector<std::wstring> skipped;
  InstallJournal trusted = TrustedPart(*journal, application_folder, CachedListStem(), skipped);
  std::erase_if(trusted.files, [&](const PlacedFile& file) {
    if (!PassesThroughLink(application_folder, file.destination)) return false;
    skipped.push_back(file.destination);
    return true;
  });
  for (const std::wstring& path : skipped) WriteLog(FormatWide(L"skip journal entry[%ls]", path.c_str()));
  return trusted;
}

}  // namespace

std::wstring ReturnJournalPath() { return CollapseBackslashes(ConfigurationFolder() + kReturnJournalName); }

CopyJournal CopyJournal::CarryOn() {
  CopyJournal journal;
  journal.path_ = ReturnJournalPath();
  if (std::optional<InstallJournal> pending = PendingJournal()) {
    journal.changes_ = std::move(*pending);
    journal.started_ = true;
    WriteLog(FormatWide(L"carry on the journal of a copy cut short[%ls]", journal.path_.c_str()));
  } else {
    journal.changes_.old_files_list_length = FileLength(OldFilesListPath()).value_or(-1);
  }
  return journal;
}

bool CopyJournal::Append(const std::wstring& line) {
  if (path_.empty()) return true;
  std::string bytes = WideToUtf8(line);
  if (!started_) bytes = WideToUtf8(JournalHeaderLines(changes_.old_files_list_length)) + bytes;
  unique_hfile file(::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  started_ ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER before{};
  if (file && (!::GetFileSizeEx(file.get(), &before) || !::SetFilePointerEx(file.get(), before, nullptr, FILE_BEGIN)))
    file.reset();
  DWORD written = 0;
  // On the disk before the change it announces, or a crash could lose it.
  if (file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && ::FlushFileBuffers(file.get())) {
    started_ = true;
    return true;
  }
  WriteLog(FormatWide(L"cannot write the journal[%ls]", path_.c_str()));
  // A part of the line would make the lines after it unreadable: cut it off.
  if (file && ::SetFilePointerEx(file.get(), before, nullptr, FILE_BEGIN)) ::SetEndOfFile(file.get());
  return false;
}

bool CopyJournal::CreatedFolder(const std::wstring& folder) {
  if (!Append(CreatedFolderLine(folder))) return false;
  changes_.created_folders.push_back(folder);
  return true;
}

bool CopyJournal::Placing(const std::wstring& destination, const std::wstring& backup) {
  if (!Append(PlacingLine(destination, backup))) return false;
  changes_.files.push_back({destination, backup, L""});
  return true;
}

void CopyJournal::Placed(const std::wstring& destination, const std::wstring& give_back) {
  if (give_back.empty() || !Append(PlacedLine(destination, give_back))) return;
  changes_.files.back().give_back = give_back;
}

void CopyJournal::Cancelled(const std::wstring& destination) {
  Append(CancelLine(destination));
  changes_.files.pop_back();
}

void CopyJournal::Returning() {
  Append(ReturningLine());
  changes_.returning = true;
}

void CopyJournal::Close() {
  if (!path_.empty()) RemoveJournal();
  changes_ = InstallJournal{};
  started_ = false;
}

bool ReturnToPreviousRelease(CopyJournal& journal, HWND report_window) {
  // A journal that could not be written leaves a kill during the return
  // unfinished, but the return itself is still better than two releases mixed.
  journal.Returning();
  ReportTaskStatus(report_window, Translate(kReturnText));
  return CarryOutReturn(journal.Changes(), report_window);
}

bool FinishInterruptedReturn() {
  std::optional<InstallJournal> journal = PendingJournal();
  if (!journal) return !FileExists(ReturnJournalPath());
  if (!journal->returning) return true;  // a copy cut short: the next copy carries it on
  WriteLog(Translate(kReturnText));
  return CarryOutReturn(*journal, nullptr);
}

std::vector<std::wstring> BackupsHeldForReturn() {
  std::vector<std::wstring> held;
  if (std::optional<InstallJournal> journal = PendingJournal()) {
    for (const PlacedFile& file : journal->files) {
      if (!file.backup.empty()) held.push_back(file.backup);
    }
  }
  return held;
}

}  // namespace tarvolin
