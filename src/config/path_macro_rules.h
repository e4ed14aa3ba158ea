// The rules of folder macros in configuration and list paths, apart from the
// system calls that supply the folders. No Windows headers here: list paths
// come from the network, so these rules are also built natively and fuzzed.
#pragma once

#include <functional>
#include <string>

namespace tarvolin {

// The shell's folder ids (its CSIDL values) that the macros name;
// path_macros.cpp checks them against the system's headers.
namespace shell_folder_ids {
inline constexpr int kPrograms = 0x0002;
inline constexpr int kPersonal = 0x0005;
inline constexpr int kStartup = 0x0007;
inline constexpr int kStartMenu = 0x000b;
inline constexpr int kDesktopDirectory = 0x0010;
inline constexpr int kCommonStartMenu = 0x0016;
inline constexpr int kCommonPrograms = 0x0017;
inline constexpr int kCommonStartup = 0x0018;
inline constexpr int kCommonDesktopDirectory = 0x0019;
inline constexpr int kProgramFiles = 0x0026;
}  // namespace shell_folder_ids

// Where the macros point. The program uses the system's folders; tests can
// hand in their own to see exactly what the rules do.
struct MacroFolders {
  std::function<std::wstring(int csidl)> shell_folder;  // no trailing backslash; "" when unknown
  std::function<std::wstring()> windows_folder;
  std::function<std::wstring()> syswow64_folder;  // SysWOW64 when it exists, else the system folder
  std::function<std::wstring()> system_folder;
  std::function<std::wstring()> configuration_folder;  // ends with a backslash
};

// Every shell-folder macro is replaced; of {win} {syswow64} {sys} {target} {path}
// {app} only the first present one is. Doubled backslashes are collapsed only
// when something was replaced.
std::wstring ExpandPathMacros(const std::wstring& text, const MacroFolders& folders);

// Absolute path of a list or task path: macros expanded, then a path without a
// drive colon is joined to base with slashes turned into backslashes.
std::wstring ResolvePath(const std::wstring& base, const std::wstring& path, const MacroFolders& folders);

}  // namespace tarvolin
