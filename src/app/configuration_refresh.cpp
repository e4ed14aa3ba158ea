#include "app/configuration_refresh.h"

#include <windows.h>

#include "common/strings.h"
#include "config/settings.h"
#include "download/plain_get.h"
#include "endpoints.h"
#include "updatelist/list_retrieval.h"

namespace tarvolin {
namespace {

constexpr wchar_t kOpenFileFailed[] = L"打开文件失败";

bool PlainGetConfiguration(const std::wstring& url, const std::wstring& path) {
  PlainGetResult result = PlainGetToFile(url, path, ReadSetting(sections::kApplication, L"AgentName"));
  if (result == PlainGetResult::FileFailed) ::MessageBoxW(nullptr, kOpenFileFailed, nullptr, MB_OK);
  return result == PlainGetResult::Ok;
}

}  // namespace

std::wstring ConfigurationEndpointUrl(const std::wstring& ebook_id) {
  return std::wstring(endpoints::kConfigServer) + FormatWide(endpoints::kConfigurationPathFormat, ebook_id.c_str());
}

bool RefreshConfiguration() {
  std::wstring url = ConfigurationEndpointUrl(ReadSetting(sections::kApplication, L"EBookID"));
  std::wstring ini = CollapseBackslashes(ConfigurationFolder() + L"\\" + kConfigurationFileName);
  std::wstring bak = ini + L".bak";

  ::DeleteFileW(bak.c_str());
  ::MoveFileW(ini.c_str(), bak.c_str());
  if (FetchListFile(url, ini)) return true;
  if (PlainGetConfiguration(url, ini)) return true;
  // Whatever a failed transfer left behind gives way to the previous file.
  ::MoveFileExW(bak.c_str(), ini.c_str(), MOVEFILE_REPLACE_EXISTING);
  return false;
}

}  // namespace tarvolin
