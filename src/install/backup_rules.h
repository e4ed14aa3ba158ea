// The names of backups, and which entries of "__oldfiles.lst" the start-up
// purge may act on. The list lies in a folder other programs can write to, and
// the purge also runs in the elevated copy, so an entry is taken only when it
// is a name the copy stage itself gives a backup and its original lies in the
// application folder. No Windows headers here: the rules are tested directly.
#pragma once

#include <string>

namespace tarvolin {

// Backup names tried after the plain one: ".__old0" ... ".__old9".
inline constexpr int kNumberedBackups = 10;

// `destination` + ".__old" for attempt -1, + ".__old<attempt>" for 0 to 9.
std::wstring BackupName(const std::wstring& destination, int attempt);

// The file a backup was made from: the path without its ".__old" or
// ".__old0" ... ".__old9" ending; empty when the name is not a backup name.
std::wstring OriginalOfBackup(const std::wstring& backup);

enum class ListedBackup {
  Ours,           // a backup name whose original lies in the application folder
  NotABackup,     // no backup ending, or nothing before it
  OutsideFolder,  // the original is not (provably) inside the application folder
};

ListedBackup JudgeListedBackup(const std::wstring& backup, const std::wstring& application_folder);

}  // namespace tarvolin
