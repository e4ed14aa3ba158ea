#include "install/access_grant.h"

#include <windows.h>
#include <shellapi.h>

#include "common/files.h"
#include "common/path_rules.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/path_macros.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

constexpr wchar_t kGrantArguments[] = L" /grant Users:(D,WDAC)";
constexpr wchar_t kOpenVerb[] = L"open";

}  // namespace

std::wstring IcaclsParameters(const std::wstring& path) { return L"\"" + path + L"\"" + kGrantArguments; }

std::wstring ConfiguredGrantTool() {
  if (!ReadSettingBool(sections::kTarvolin, kIcaclsKey, L"0")) return std::wstring();
  const std::wstring tool = ExpandPathMacros(kIcaclsTool);
  return FileExists(tool) ? tool : std::wstring();
}

void GrantUsersAccess(const std::wstring& tool, const std::vector<std::wstring>& paths) {
  if (tool.empty() || !FileExists(tool)) return;
  const std::wstring book_folder = ConfigurationFolder();
  for (const std::wstring& path : paths) {
    if (!IsInsideFolder(path, book_folder)) {
      WriteLog(FormatWide(L"no grant for [%ls]: it is outside the book folder", path.c_str()));
      continue;
    }
    const std::wstring parameters = IcaclsParameters(path);
    HINSTANCE started = ::ShellExecuteW(nullptr, kOpenVerb, tool.c_str(), parameters.c_str(), nullptr, SW_HIDE);
    // ShellExecute reports success as a value above 32.
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
      WriteLog(FormatWide(L"Could not start [%ls] for [%ls]", tool.c_str(), path.c_str()));
    }
  }
}

}  // namespace tarvolin
