#include "config/path_macro_rules.h"

#include <array>

#include "common/strings.h"

namespace tarvolin {
namespace {

struct ShellMacro {
  const wchar_t* token;
  int csidl;
};

constexpr std::array<ShellMacro, 14> kShellMacros{{
    {L"{programfiles}", shell_folder_ids::kProgramFiles},
    {L"{pf}", shell_folder_ids::kProgramFiles},
    {L"{document}", shell_folder_ids::kPersonal},
    {L"{commondesktop}", shell_folder_ids::kCommonDesktopDirectory},
    {L"{desktop}", shell_folder_ids::kDesktopDirectory},
    {L"{startmenu}", shell_folder_ids::kStartMenu},
    {L"{startupmenu}", shell_folder_ids::kStartMenu},
    {L"{commonstartmenu}", shell_folder_ids::kCommonStartMenu},
    {L"{commonstartupmenu}", shell_folder_ids::kCommonStartMenu},
    {L"{commonstartup}", shell_folder_ids::kCommonStartup},
    {L"{startup}", shell_folder_ids::kStartup},
    {L"{commonprograms}", shell_folder_ids::kCommonPrograms},
    {L"{startupprograms}", shell_folder_ids::kCommonPrograms},
    {L"{programs}", shell_folder_ids::kPrograms},
}};

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

std::wstring ExpandPathMacros(const std::wstring& text, const MacroFolders& folders) {
  std::wstring result = text;
  for (const auto& macro : kShellMacros) {
    if (Contains(result, macro.token)) result = ReplaceAll(result, macro.token, folders.shell_folder(macro.csidl));
  }
  result = FirstFolderMacroReplaced(result, folders);
  return result == text ? text : CollapseBackslashes(result);
}

std::wstring ResolvePath(const std::wstring& base, const std::wstring& path, const MacroFolders& folders) {
  std::wstring expanded = ExpandPathMacros(path, folders);
  if (expanded.find(L':', 1) != std::wstring::npos) return expanded;
  std::wstring joined = ReplaceAll(base + L"\\" + expanded, L"/", L"\\");
  return CollapseBackslashes(CollapseBackslashes(joined));
}

}  // namespace tarvolin
