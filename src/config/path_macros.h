// Folder macros in configuration and list paths, path resolution and the
// updater's temporary folder.
#pragma once

#include <functional>
#include <string>

namespace tarvolin {

// Where the macros point. The program uses the system's folders; tests can
// hand in their own to see exactly what the rules do.
struct MacroFolders {
  std::function<std::wstring(int csidl)> shell_folder;  // no trailing backslash; "" when unknown
  std::function<std::wstring()> windows_folder;
  std::function<std::wstring()> syswow64_folder;  // SysWOW64 when it exists, else the system folder
  std::function<std::wstring()> system_folder;
  std::function<std::wstring()> configuration_folder;  // ends with a backslash
};

MacroFolders SystemMacroFolders();

// Every shell-folder macro is replaced; of {win} {syswow64} {sys} {target} {path}
// {app} only the first present one is. Doubled backslashes are collapsed only
// when something was replaced.
std::wstring ExpandPathMacros(const std::wstring& text, const MacroFolders& folders);
std::wstring ExpandPathMacros(const std::wstring& text);

// Absolute path of a list or task path: macros expanded, then a path without a
// drive colon is joined to base with slashes turned into backslashes.
std::wstring ResolvePath(const std::wstring& base, const std::wstring& path);
std::wstring ResolvePath(const std::wstring& base, const std::wstring& path, const MacroFolders& folders);

// Downloads and cached lists live here (at most 259 characters).
std::wstring TemporaryFolder();

}  // namespace tarvolin
