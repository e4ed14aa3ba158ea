// Which records of a freshly fetched update list need work on this machine,
// and how the download list takes them: files to fetch, texts to show, tasks
// to run. Decisions only; no windows, no network.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "config/path_macros.h"
#include "updatelist/list_serialisation.h"
#include "updatelist/update_record.h"

namespace tarvolin {

// The [Tarvolin] key that makes a missing installed file due even when its
// version is unchanged.
inline constexpr wchar_t kCheckLostFileKey[] = L"CheckLostFile";

// Line break that ends every description text, and the escapes list authors
// type for one; the four-character form is rewritten before the two-character
// form.
inline constexpr wchar_t kDescriptionLineBreak[] = L"\r\n";
inline constexpr wchar_t kEscapedCrLf[] = L"\\r\\n";
inline constexpr wchar_t kEscapedLf[] = L"\\n";

// What the missing-file test looks at: where records are installed and whether
// a path is there. The program uses the configuration folder, the system's
// folders and the file system; tests bring their own.
struct InstalledFiles {
  std::wstring application_folder;  // ends with a backslash
  MacroFolders folders;
  std::function<bool(const std::wstring& path)> exists;
};
InstalledFiles SystemInstalledFiles();

// True for records that stand for a file (neither a description nor a task).
bool IsFileRecord(const updatefileinfo& record);

// Appends to `due` every record of `remote` that needs work, in `remote`
// order. A record without a version is never due. With `check_lost_file`, a
// file record not marked for deletion is due as soon as one of its targets is
// missing. Otherwise it is due unless `installed` holds the same path (exact,
// case-sensitive) with the same version text; versions have no order, any
// difference counts.
void CompareLists(const std::vector<updatefileinfo>& remote, const std::vector<updatefileinfo>& installed,
                  bool check_lost_file, const InstalledFiles& files, std::vector<updatefileinfo>& due);

// Moves description and task records out of `list.records`. `list.description`
// becomes their texts in list order, each followed by a line break, with the
// typed escapes rewritten; the task strings are appended to `list.tasks` last
// one first, the order in which they run.
void SplitDescriptionsAndTasks(DownloadListValues& list);

// The whole step as the check runs it: empties the records, description and
// tasks of `list` (its status stays), reads [Tarvolin] "CheckLostFile", compares
// against the installed files on this machine and splits. Afterwards
// `list.records` holds only file records; their count is the update file count.
// True when everything `handed` would have a run act on is in `verified`:
// each record (its downloader messages aside) and each task. What order or
// subset was handed over does not matter; anything changed or added does.
bool HandedOverWithin(const DownloadListValues& handed, const DownloadListValues& verified);

void FillDownloadList(const std::vector<updatefileinfo>& remote, const std::vector<updatefileinfo>& installed,
                      DownloadListValues& list);

}  // namespace tarvolin
