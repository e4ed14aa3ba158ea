#include "updatelist/list_cache_name.h"

#include <windows.h>

#include <array>
#include <cstdlib>
#include <ctime>

#include "common/guarded.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/path_macros.h"
#include "config/settings.h"
#include "status/update_status.h"

namespace tarvolin {
namespace {

constexpr wchar_t kListUrlSuffix[] = L"9999999999";
constexpr long long kStaleAfterSeconds = 48;

std::wstring CurrentListUrl() { return ReadSetting(sections::kUpdateInfo, L"ListURL"); }

}  // namespace

std::wstring ListCacheName(const std::wstring& text) {
  std::array<long long, 10> slots{65, 72, 65, 66, 67, 68, 57, 57, 57, 57};
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (n == 0) continue;
    long long d = slots[i];
    for (std::size_t j = 0; j < n; ++j) {
      d = (d + text[j] + text[j / 2] + static_cast<long long>(i) + static_cast<long long>(j)) % 199;
    }
    slots[i] = d;
  }
  std::wstring digits;
  for (long long slot : slots) digits += L"0123456789ABCDEF"[slot % 16];
  return digits.substr(0, 4) + L"-" + digits.substr(4);
}

std::wstring CachedListStem() {
  return CollapseBackslashes(TemporaryFolder() + L"\\" + ListCacheName(CurrentListUrl() + kListUrlSuffix));
}

namespace {
Guarded<std::wstring>& ListFileOverride() {
  // Never destroyed: threads may still use it while the process ends.
  static Guarded<std::wstring>* path = new Guarded<std::wstring>;
  return *path;
}
}  // namespace

std::wstring CachedListPath() {
  std::wstring override_path = ListFileOverride().Get();
  return override_path.empty() ? CachedListStem() + L".xml" : override_path;
}

void SetListFileOverride(const std::wstring& path) { ListFileOverride().Set(path); }

std::wstring ListSettingsFilePath() { return CachedListStem() + L".bin"; }

void CleanStaleCacheMarker() {
  if (CurrentStatus() < UpdateCheckRemoteOk) return;
  long long now = static_cast<long long>(std::time(nullptr));
  long long last = ParseDecimal(ReadSetting(sections::kTarvolin, L"OwerCheckTm"));
  if (std::llabs(now - last) > kStaleAfterSeconds || RunParameters().Get(L"fromtwebsvr") == L"true")
    ::DeleteFileW(ListSettingsFilePath().c_str());
  WriteSetting(sections::kTarvolin, L"OwerCheckTm", std::to_wstring(now));
}

}  // namespace tarvolin
