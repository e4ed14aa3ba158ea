#include "install/file_replacement.h"

#include <windows.h>

#include "common/files.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/translation_loader.h"
#include "download/packed_fetch.h"
#include "install/old_files.h"
#include "install/task_string.h"

namespace tarvolin {
namespace {

constexpr wchar_t kUpdatedText[] = L"update file[%s]";

// Every rename that puts a file in place waits until the data is on disk, so
// a crash of the machine cannot leave a renamed but empty file behind either.
constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

void DeleteIfPresent(const std::wstring& path) {
  if (!FileExists(path) || DirectoryExists(path)) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

void LogPair(const wchar_t* format, const std::wstring& first, const std::wstring& second) {
  WriteLog(FormatWide(format, first.c_str(), second.c_str()));
}

// Moves `destination` aside under the first backup name that works and lists
// the backup. The backup's name, or empty when all eleven names failed.
// `own_link`, a link to the destination itself, is passed over: a move onto
// another name of the same file may report success and change nothing.
std::wstring MoveAside(const std::wstring& destination, const std::wstring& own_link) {
  for (int attempt = -1; attempt < kNumberedBackups; ++attempt) {
    const std::wstring backup = BackupName(destination, attempt);
    if (backup == own_link) continue;
    if (::MoveFileW(destination.c_str(), backup.c_str())) {
      RecordOldFile(backup);
      return backup;
    }
    LogPair(L"backup file error[%ls]to[%ls]", destination, backup);
  }
  return std::wstring();
}

// A second name for the destination's bytes, made without touching the
// destination: a link where the volume has them, a copy where it has not. The
// backup's name, or empty when the destination cannot be read. The name is
// listed before the backup exists, so that no moment leaves a backup the
// start-up purge does not know of.
std::wstring KeepBackup(const std::wstring& destination) {
  for (int attempt = -1; attempt < kNumberedBackups; ++attempt) {
    const std::wstring backup = BackupName(destination, attempt);
    if (FileExists(backup)) continue;
    RecordOldFile(backup);
    if (::CreateHardLinkW(backup.c_str(), destination.c_str(), nullptr) ||
        ::CopyFileW(destination.c_str(), backup.c_str(), TRUE)) {
      return backup;
    }
    DeleteIfPresent(backup);  // a copy cut short
    LogPair(L"backup file error[%ls]to[%ls]", destination, backup);
    return std::wstring();
  }
  return std::wstring();
}

// False when another program holds the file so that it can be neither
// renamed nor replaced now: no backup link is made then, since a second name
// of a held file could not be removed again either.
bool IsFreeToReplace(const std::wstring& path) {
  unique_hfile probe(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return probe || ::GetLastError() != ERROR_SHARING_VIOLATION;
}

enum class Placement { Done, Failed, NoBackup };

struct Replacement {
  Placement placement;
  std::wstring backup;  // what the destination held, when it held something
};

enum class Swap { kDone, kRefused, kNotJournaled };

// Renames `staged` over `destination`, journaled. A change the journal does
// not hold is not made: a failed copy could not undo it.
Swap SwapIn(const std::wstring& staged, const std::wstring& destination, const std::wstring& backup,
            CopyJournal& journal) {
  if (!journal.Placing(destination, backup)) return Swap::kNotJournaled;
  if (::MoveFileExW(staged.c_str(), destination.c_str(), kReplaceFlags)) return Swap::kDone;
  journal.Cancelled(destination);
  return Swap::kRefused;
}

// Replaces `destination` by `staged` in one rename, keeping what it held as a
// backup; a destination that refuses (a running program) is moved aside
// instead. On failure the destination holds what it held before.
Replacement ReplaceWithStaged(const std::wstring& staged, const std::wstring& destination, CopyJournal& journal) {
  if (!FileExists(destination)) {
    const bool moved = SwapIn(staged, destination, std::wstring(), journal) == Swap::kDone;
    return {moved ? Placement::Done : Placement::Failed, std::wstring()};
  }
  // A link shares the attributes of the file: the backup gets them back once
  // the destination is a file of its own.
  const DWORD attributes = ::GetFileAttributesW(destination.c_str());
  const std::wstring kept = IsFreeToReplace(destination) ? KeepBackup(destination) : std::wstring();
  ::SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!kept.empty()) {
    const Swap swap = SwapIn(staged, destination, kept, journal);
    if (swap == Swap::kDone) {
      ::SetFileAttributesW(kept.c_str(), attributes);
      return {Placement::Done, kept};
    }
    // A link to a running program goes only once the program has ended; it
    // is listed, so the next start deletes it. So is a name that was never used.
    DeleteIfPresent(kept);
    if (swap == Swap::kNotJournaled) {
      ::SetFileAttributesW(destination.c_str(), attributes);
      return {Placement::Failed, std::wstring()};
    }
  }
  const std::wstring backup = MoveAside(destination, FileExists(kept) ? kept : std::wstring());
  if (backup.empty()) {
    ::SetFileAttributesW(destination.c_str(), attributes);
    return {Placement::NoBackup, std::wstring()};
  }
  if (SwapIn(staged, destination, backup, journal) == Swap::kDone) {
    ::SetFileAttributesW(backup.c_str(), attributes);
    return {Placement::Done, backup};
  }
  // The old file goes back; its list entry is harmless, since the purge skips
  // names that no longer exist.
  ::MoveFileW(backup.c_str(), destination.c_str());
  ::SetFileAttributesW(destination.c_str(), attributes);
  return {Placement::Failed, std::wstring()};
}

// The folders above `path` that do not exist yet, outermost first.
std::vector<std::wstring> MissingFolders(const std::wstring& path) {
  std::vector<std::wstring> missing;
  for (std::wstring folder = FolderOf(path); !folder.empty() && !FileExists(folder); folder = FolderOf(folder)) {
    missing.insert(missing.begin(), folder);
  }
  return missing;
}

// One destination: stage the new file beside it, then swap it in.
bool PlaceFile(const std::wstring& fetched, const std::wstring& destination, bool take_fetched,
               CopyJournal& journal, const StagedFileCheck& check) {
  const wchar_t* error_format = take_fetched ? L"move file error[%ls]to[%ls]" : L"copy file error[%ls]to[%ls]";
  if (DirectoryExists(destination)) {
    // A folder under the file's name is the user's; it is never moved aside.
    LogPair(error_format, fetched, destination);
    return false;
  }
  for (const std::wstring& folder : MissingFolders(destination)) {
    if (!journal.CreatedFolder(folder)) {
      LogPair(error_format, fetched, destination);
      return false;
    }
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) break;
  }
  const std::wstring staged = destination + kStagedSuffix;
  DeleteIfPresent(staged);  // left by a run that was cut short
  // Always a new file, never the downloaded one moved: a moved file keeps the
  // access list it was given where it was downloaded.
  if (!::CopyFileW(fetched.c_str(), staged.c_str(), FALSE)) {
    DeleteIfPresent(staged);
    LogPair(error_format, fetched, destination);
    return false;
  }
  {
    // Nobody writes to the staged file from its check until it is in place.
    unique_hfile hold(::CreateFileW(staged.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hold || (check && !check(staged))) {
      hold.reset();
      DeleteIfPresent(staged);
      LogPair(L"not installed, it is not the file its list promises[%ls]to[%ls]", fetched, destination);
      return false;
    }
    const Replacement replaced = ReplaceWithStaged(staged, destination, journal);
    if (replaced.placement == Placement::Done) {
      if (take_fetched) {
        ::SetFileAttributesW(fetched.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(fetched.c_str());
        journal.Placed(destination, fetched);
      }
      WriteLog(FormatPlaceholders(Translate(kUpdatedText), {destination}, Placeholders::kTextsOnly));
      return true;
    }
    if (replaced.placement == Placement::Failed) LogPair(error_format, fetched, destination);
  }
  DeleteIfPresent(staged);
  return false;
}

bool IsLinkToElsewhere(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

template <typename Visit>
void ForEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW entry;
  unique_hfind find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    visit(name, entry.dwFileAttributes);
  } while (::FindNextFileW(find.get(), &entry));
}

}  // namespace

bool UpdateOneFile(const std::wstring& source, const std::vector<std::wstring>& destinations,
                   CopyJournal& journal, const StagedFileCheck& check) {
  const std::wstring fetched = source + kParkedSuffix;
  if (!FileExists(fetched) || DirectoryExists(fetched)) {
    WriteLog(FormatWide(L"missing downloaded file[%ls]", fetched.c_str()));
    return false;
  }
  for (std::size_t i = 0; i < destinations.size(); ++i) {
    if (!PlaceFile(fetched, destinations[i], i + 1 == destinations.size(), journal, check)) return false;
  }
  return true;
}

bool UpdateOneFile(const std::wstring& source, const std::vector<std::wstring>& destinations) {
  CopyJournal journal;
  return UpdateOneFile(source, destinations, journal);
}

bool MoveTree(const std::wstring& from, const std::wstring& to, CopyJournal& journal, const TreeFileCheck& check) {
  bool all_moved = true;
  ForEachEntry(from, [&](const std::wstring& name, DWORD attributes) {
    if (!all_moved) return;
    const std::wstring source = from + L"\\" + name;
    const std::wstring target = CollapseBackslashes(to + L"\\" + name);
    if (IsLinkToElsewhere(attributes)) {
      // What a link points to is not part of the tree; it stays where it is.
      all_moved = false;
      LogPair(L"move file error[%ls]to[%ls]", source, target);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      all_moved = MoveTree(source, target, journal, check);
    } else {
      StagedFileCheck staged_check;
      if (check) staged_check = [&check, &source](const std::wstring& staged) { return check(source, staged); };
      all_moved = PlaceFile(source, target, true, journal, staged_check);
    }
  });
  ::RemoveDirectoryW(from.c_str());
  return all_moved;
}

}  // namespace tarvolin
