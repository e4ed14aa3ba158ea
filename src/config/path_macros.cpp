#include "config/path_macros.h"

#include <windows.h>
#include <shlobj.h>

#include "common/files.h"
#include "common/strings.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

// The rules name the shell's folders by number; they must be the system's.
static_assert(shell_folder_ids::kPrograms == CSIDL_PROGRAMS);
static_assert(shell_folder_ids::kPersonal == CSIDL_PERSONAL);
static_assert(shell_folder_ids::kStartup == CSIDL_STARTUP);
static_assert(shell_folder_ids::kStartMenu == CSIDL_STARTMENU);
static_assert(shell_folder_ids::kDesktopDirectory == CSIDL_DESKTOPDIRECTORY);
static_assert(shell_folder_ids::kCommonStartMenu == CSIDL_COMMON_STARTMENU);
static_assert(shell_folder_ids::kCommonPrograms == CSIDL_COMMON_PROGRAMS);
static_assert(shell_folder_ids::kCommonStartup == CSIDL_COMMON_STARTUP);
static_assert(shell_folder_ids::kCommonDesktopDirectory == CSIDL_COMMON_DESKTOPDIRECTORY);
static_assert(shell_folder_ids::kProgramFiles == CSIDL_PROGRAM_FILES);

std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return std::wstring();
  std::wstring folder = buffer;
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring SysWow64OrSystemFolder() {
  std::wstring wow = WindowsFolder() + L"\\SysWOW64";
  return DirectoryExists(wow) ? wow : SystemFolder();
}

}  // namespace

MacroFolders SystemMacroFolders() {
  return MacroFolders{&ShellFolder, &WindowsFolder, &SysWow64OrSystemFolder, &SystemFolder,
                      [] { return ConfigurationFolder(); }};
}

std::wstring ExpandPathMacros(const std::wstring& text) { return ExpandPathMacros(text, SystemMacroFolders()); }

std::wstring ResolvePath(const std::wstring& base, const std::wstring& path) {
  return ResolvePath(base, path, SystemMacroFolders());
}

std::wstring TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathW(MAX_PATH, buffer);
  std::wstring folder(buffer, n <= MAX_PATH ? n : 0);

  if (ReadSettingBool(sections::kTarvolin, L"TempAppPath", L"0")) {
    folder = ConfigurationFolder();
  } else {
    std::wstring configured = ReadSetting(sections::kTarvolin, L"TempPath");
    if (!configured.empty()) {
      std::wstring expanded = ExpandPathMacros(configured);
      if (!expanded.empty()) {
        if (!Contains(expanded, L":")) expanded = ConfigurationFolder() + expanded;
        folder = CollapseBackslashes(expanded);
      }
    }
  }
  constexpr std::size_t kMaxChars = 259;
  if (folder.size() > kMaxChars) folder.resize(kMaxChars);
  return folder;
}

}  // namespace tarvolin
