#include "ui/browser_emulation.h"

#include <windows.h>

#include <algorithm>

#include "common/strings.h"
#include "common/unique_handle.h"

namespace tarvolin {

std::optional<unsigned long> BrowserEmulationValue(const std::wstring& version) {
  if (!Contains(version, L".")) return std::nullopt;
  // The registry text is the machine's, not ours: a huge major number is held
  // to what the value can carry instead of overflowing.
  constexpr long long kUnitsPerMajor = 1000;
  constexpr long long kLargestMajor = 0xFFFFFFFFLL / kUnitsPerMajor;
  return static_cast<unsigned long>(std::clamp<long long>(ParseDecimal(version), 0, kLargestMajor) * kUnitsPerMajor);
}

void SetBrowserEmulation(const std::wstring& value_name) {
  wchar_t version[33] = {};  // 64 bytes
  DWORD size = sizeof version - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version", RRF_RT_REG_SZ,
                     nullptr, version, &size) != ERROR_SUCCESS)
    return;
  auto value = BrowserEmulationValue(version);
  if (!value) return;

  constexpr wchar_t kFeatureKey[] =
      L"SOFTWARE\\Microsoft\\Internet Explorer\\MAIN\\FeatureControl\\FEATURE_BROWSER_EMULATION";
  unique_hkey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFeatureKey, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS &&
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFeatureKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
          ERROR_SUCCESS)
    return;
  DWORD data = *value;
  ::RegSetValueExW(key.get(), value_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

}  // namespace tarvolin
