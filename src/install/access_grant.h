// Giving ordinary users the right to delete and re-permission installed files,
// so that a later update run without raised rights can replace them. Done with
// the system tool icacls when the configuration asks for it.
#pragma once

#include <string>
#include <vector>

namespace tarvolin {

// [Tarvolin] key that turns the grants on ("0" by default).
inline constexpr wchar_t kIcaclsKey[] = L"icacls";
// The tool, before path macros are expanded.
inline constexpr wchar_t kIcaclsTool[] = L"{sys}\\icacls.exe";

// The tool's parameters for one path: the path in double quotes, then
// "/grant Users:(D,WDAC)". An apostrophe inside the path stays as it is.
std::wstring IcaclsParameters(const std::wstring& path);

// The tool to use in this run: empty when the configuration does not ask for
// grants or the tool is missing on this system.
std::wstring ConfiguredGrantTool();

// Starts `tool` hidden, through the shell verb "open", once per path, without
// waiting for it. Does nothing when `tool` is empty or does not exist. Only
// paths inside the book folder (the configuration folder) get the grant: a
// destination elsewhere (a system folder, say) keeps the rights it has, and a
// log line says so.
void GrantUsersAccess(const std::wstring& tool, const std::vector<std::wstring>& paths);

}  // namespace tarvolin
