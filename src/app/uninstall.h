// Removing what the installed list put on the machine.
#pragma once

#include <string>

namespace tarvolin {

// The folders above `file` that may go once empty: every parent folder,
// nearest first, that is longer than a drive root ("C:\").
std::wstring ParentFolderOf(const std::wstring& path);

// Whether uninstall may delete `path` (a file or a folder it left empty):
// inside the book folder, always; anywhere else only when the list that named
// it was verified, so an unverified installed list cannot steer deletions
// (elevated ones included) to the rest of the machine.
bool UninstallMayDelete(const std::wstring& path, const std::wstring& book_folder, bool list_verified);

// Deletes every installed file of the list, the folders they leave empty, the
// log, "__oldfiles.lst" and the installed list. Relaunches elevated first when
// the configuration folder needs administrator rights. Files outside the book
// folder go only when the installed list verifies (see RestoreVerifiedList).
void UninstallFiles();

}  // namespace tarvolin
