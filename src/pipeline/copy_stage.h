// The copy stage of an update: the downloaded files go into the installation,
// the per-file actions and the list's tasks run, the download folder is
// cleared, and the fetched list becomes the installed list.
//
// Thread affinity: the update window's worker thread, or the main thread of a
// run without a window. Progress goes to the window by SendMessageW.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "updatelist/update_record.h"

namespace tarvolin {

// Run parameter prefix under which the check keeps the address of the list it
// downloaded to a path (the key is this prefix + that path).
inline constexpr wchar_t kListDownloadKeyPrefix[] = L"__down|";

// The other name a cached list may have: ".xml.xml" becomes ".xml", anything
// else gets ".xml" appended.
std::wstring AlternateCachedListName(const std::wstring& cached_list);

// True when `listed` holds every file record of `installed` (not marked for
// deletion) with the same path and version: such a list describes what the
// copy put on disk.
bool ListCoversRecords(const std::vector<updatefileinfo>& listed, const std::vector<updatefileinfo>& installed);

// Puts `source` in place of `target` so that `target` is at every moment the
// old or the new file: `source` is moved next to it first, then renamed over
// it. Retries for a while when another program holds `target` briefly.
bool ReplaceFileWhole(const std::wstring& source, const std::wstring& target);

// Installs the current download list. Status texts go to `window` (may be
// null) and to the log. With [Tarvolin] UnZip off, the download folder is
// moved into the application folder unchanged and nothing else happens.
// Otherwise: copy phase, the records' links, task phase, the list's tasks,
// clean-up, and the fetched list becomes the installed list. True when every
// record was installed and the installed list was saved. When a record cannot
// be put in place, or the fetched list is not at hand to be saved, before any
// task has run, every file this copy replaced or added goes back to what it
// was (release_return.h); the installed list stays the old one, the fetched
// files stay parked, and the next run tries again.
bool CopyAndFinish(HWND window);

// The stage as the update windows and the silent mode run it: only after the
// local check succeeded; UpdateCopy, then UpdateCopyOk (with [APPLICATION] Ver
// set to the list's version label) or UpdateCopyError. The window's Cancel
// button is disabled meanwhile; the window itself empties its file list and
// reacts to the end of the copy once this returns.
void InstallUpdate(HWND window);

}  // namespace tarvolin
