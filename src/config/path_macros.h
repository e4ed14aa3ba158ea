// Folder macros in configuration and list paths, path resolution and the
// updater's temporary folder.
#pragma once

#include <string>

#include "config/path_macro_rules.h"

namespace tarvolin {

MacroFolders SystemMacroFolders();

// ExpandPathMacros with the system's folders.
std::wstring ExpandPathMacros(const std::wstring& text);

// ResolvePath with the system's folders.
std::wstring ResolvePath(const std::wstring& base, const std::wstring& path);

// Downloads and cached lists live here (at most 259 characters).
std::wstring TemporaryFolder();

}  // namespace tarvolin
