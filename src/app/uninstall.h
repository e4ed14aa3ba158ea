// Removing what the installed list put on the machine.
#pragma once

#include <string>

namespace tarvolin {

// The folders above `file` that may go once empty: every parent folder,
// nearest first, that is longer than a drive root ("C:\").
std::wstring ParentFolderOf(const std::wstring& path);

// Deletes every installed file of the list, the folders they leave empty, the
// log, "__oldfiles.lst" and the installed list. Relaunches elevated first when
// the configuration folder needs administrator rights.
void UninstallFiles();

}  // namespace tarvolin
