#include "updatelist/list_url.h"

#include "common/guarded.h"
#include "common/strings.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

Guarded<std::wstring>& StoredBase() {
  // Never destroyed: threads may still use it while the process ends.
  static Guarded<std::wstring>* base = new Guarded<std::wstring>;
  return *base;
}

}  // namespace

std::wstring ExpandListUrlWith(const std::wstring& url, const std::wstring& parameter,
                               const std::wstring& parameter1, const std::wstring& parameter2) {
  std::wstring expanded = url;
  expanded = ReplaceAll(ReplaceAll(expanded, L"[param1]", parameter1), L"{param1}", parameter1);
  expanded = ReplaceAll(ReplaceAll(expanded, L"[param2]", parameter2), L"{param2}", parameter2);
  expanded = ReplaceAll(ReplaceAll(expanded, L"[param]", parameter), L"{param}", parameter);
  return expanded;
}

std::wstring ExpandListUrl(const std::wstring& url) {
  return ExpandListUrlWith(url, ReadSetting(sections::kUpdateInfo, L"Parameter"),
                           ReadSetting(sections::kUpdateInfo, L"Parameter1"),
                           ReadSetting(sections::kUpdateInfo, L"Parameter2"));
}

std::wstring ListUrlBaseOf(const std::wstring& url) {
  std::size_t slash = url.rfind(L'/');
  if (slash != std::wstring::npos && slash + 2 < url.size()) return url.substr(0, slash);
  return url;
}

void SetListUrlBase(const std::wstring& url) { StoredBase().Set(ListUrlBaseOf(url)); }
std::wstring ListUrlBase() { return StoredBase().Get(); }

}  // namespace tarvolin
