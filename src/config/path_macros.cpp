#include "config/path_macros.h"

#include <windows.h>
#include <shlobj.h>

#include <array>

#include "common/files.h"
#include "common/strings.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

struct ShellMacro {
  const wchar_t* token;
  int csidl;
};

constexpr std::array<ShellMacro, 14> kShellMacros{{
    {L"{programfiles}", CSIDL_PROGRAM_FILES},
    {L"{pf}", CSIDL_PROGRAM_FILES},
    {L"{document}", CSIDL_PERSONAL},
    {L"{commondesktop}", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"{desktop}", CSIDL_DESKTOPDIRECTORY},
    {L"{startmenu}", CSIDL_STARTMENU},
    {L"{startupmenu}", CSIDL_STARTMENU},
    {L"{commonstartmenu}", CSIDL_COMMON_STARTMENU},
    {L"{commonstartupmenu}", CSIDL_COMMON_STARTMENU},
    {L"{commonstartup}", CSIDL_COMMON_STARTUP},
    {L"{startup}", CSIDL_STARTUP},
    {L"{commonprograms}", CSIDL_COMMON_PROGRAMS},
    {L"{startupprograms}", CSIDL_COMMON_PROGRAMS},
    {L"{programs}", CSIDL_PROGRAMS},
}};

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

std::wstring FirstFolderMacroReplaced(const std::wstring& text, const MacroFolders& folders) {
  const std::array<std::pair<const wchar_t*, const std::function<std::wstring()>*>, 6> group{{
      {L"{win}", &folders.windows_folder},
      {L"{syswow64}", &folders.syswow64_folder},
      {L"{sys}", &folders.system_folder},
      {L"{target}", &folders.configuration_folder},
      {L"{path}", &folders.configuration_folder},
      {L"{app}", &folders.configuration_folder},
  }};
  for (const auto& [token, folder] : group) {
    if (Contains(text, token)) return ReplaceAll(text, token, (*folder)());
  }
  return text;
}

}  // namespace

MacroFolders SystemMacroFolders() {
  return MacroFolders{&ShellFolder, &WindowsFolder, &SysWow64OrSystemFolder, &SystemFolder,
                      [] { return ConfigurationFolder(); }};
}

std::wstring ExpandPathMacros(const std::wstring& text, const MacroFolders& folders) {
  std::wstring result = text;
  for (const auto& macro : kShellMacros) {
    if (Contains(result, macro.token)) result = ReplaceAll(result, macro.token, folders.shell_folder(macro.csidl));
  }
  result = FirstFolderMacroReplaced(result, folders);
  return result == text ? text : CollapseBackslashes(result);
}

std::wstring ExpandPathMacros(const std::wstring& text) { return ExpandPathMacros(text, SystemMacroFolders()); }

std::wstring ResolvePath(const std::wstring& base, const std::wstring& path, const MacroFolders& folders) {
  std::wstring expanded = ExpandPathMacros(path, folders);
  if (expanded.find(L':', 1) != std::wstring::npos) return expanded;
  std::wstring joined = ReplaceAll(base + L"\\" + expanded, L"/", L"\\");
  return CollapseBackslashes(CollapseBackslashes(joined));
}

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
