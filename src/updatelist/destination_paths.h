// Where a record of the update list is installed: its path under the
// application folder, or the names its destination field lists. Shared by the
// comparison (missing files), the locked-file check and the copy step.
#pragma once

#include <string>
#include <vector>

#include "config/path_macros.h"
#include "updatelist/update_record.h"

namespace tarvolin {

// Separators accepted between the names of a destination field; all mean the same.
inline constexpr wchar_t kDestinationSeparators[] = L",|;";

// Full target paths of `record`, in the order the destination field gives them,
// without duplicates (exact comparison). `application_folder` is the folder
// that relative paths are joined to. Paths that would name a folder rather
// than a file (ending in a separator, "." or "..") are left out; a record whose
// own path is such gets no destination at all, and the caller installs nothing.
std::vector<std::wstring> DestinationPaths(const updatefileinfo& record, const std::wstring& application_folder,
                                           const MacroFolders& folders);
// The same against the configuration folder and the system's folders.
std::vector<std::wstring> DestinationPaths(const updatefileinfo& record);

}  // namespace tarvolin
