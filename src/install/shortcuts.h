// Shell links for installed files, written by the copy step and by task scripts.
#pragma once

#include <windows.h>

#include <string>

#include "updatelist/update_record.h"

namespace tarvolin {

// Writes a shell link to `target` at `link_path` (".lnk" appended when
// missing), with the working folder and the icon location given; a missing
// folder of the link is created first. True when the link was saved; a failure
// is logged. Initialises COM on the calling thread when nobody has.
bool CreateShortcut(const std::wstring& target, const std::wstring& working_folder, const std::wstring& link_path,
                    const std::wstring& icon_path, int icon_index);

// The announcement of one link: the translated "Create shortcut[%s]..." with the link path.
std::wstring ShortcutStatusText(const std::wstring& link_path);

// The links that a record's shortcut field names (";", "," or "|" separated;
// items with a folder resolved against the configuration folder, bare names
// beside the installed file), each pointing to `first_destination` with its
// folder as working folder and the record's icon and icon index. Every link is
// announced on `report_window` (may be null) and in the log.
void CreateRecordShortcuts(const std::wstring& first_destination, const updatefileinfo& record,
                           HWND report_window);

}  // namespace tarvolin
