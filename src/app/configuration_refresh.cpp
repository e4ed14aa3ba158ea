#include "app/configuration_refresh.h"

#include <windows.h>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "download/plain_get.h"
#include "endpoints.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_signature.h"

namespace tarvolin {
namespace {

constexpr wchar_t kOpenFileFailed[] = L"打开文件失败";
constexpr wchar_t kRefusedLog[] = L"configuration refused, the default one stays: %ls";

bool PlainGetConfiguration(const std::wstring& url, const std::wstring& path) {
  PlainGetResult result = PlainGetToFile(url, path, ReadSetting(sections::kApplication, L"AgentName"));
  if (result == PlainGetResult::FileFailed) ::MessageBoxW(nullptr, kOpenFileFailed, nullptr, MB_OK);
  return result == PlainGetResult::Ok;
}

// The configuration names the programs the run starts: with a key in the
// book it is held to the key the lists are, over the exact bytes fetched. They
// are read once: what is checked is what the run then reads its settings from,
// whatever happens to the file afterwards.
bool ConfigurationVerifies(const std::wstring& url, const std::wstring& path) {
  const ListSigningKey key = BookListSigningKey();
  if (!key.required) return true;
  const std::optional<std::string> bytes = ReadWholeFile(path);
  const SignatureVerdict verdict = bytes ? CheckFetchedBytes(key, url, *bytes) : SignatureVerdict::kWrong;
  if (verdict != SignatureVerdict::kGood) {
    WriteLog(FormatWide(kRefusedLog, SignatureFaultText(verdict).c_str()));
    return false;
  }
  SealConfiguration(std::make_shared<const IniText>(IniText::FromBytes(*bytes)));
  return true;
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
  if ((FetchListFile(url, ini) || PlainGetConfiguration(url, ini)) && ConfigurationVerifies(url, ini)) return true;
  // Whatever a failed or refused transfer left behind gives way to the previous file.
  ::MoveFileExW(bak.c_str(), ini.c_str(), MOVEFILE_REPLACE_EXISTING);
  return false;
}

}  // namespace tarvolin
