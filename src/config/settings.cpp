#include "config/settings.h"

#include <windows.h>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/path_macros.h"

namespace tarvolin {
namespace {

constexpr DWORD kMaxValueChars = 1000;

std::wstring ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
  wchar_t buffer[kMaxValueChars + 1] = {};
  DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer, kMaxValueChars, path.c_str());
  return std::wstring(buffer, n);
}

}  // namespace

bool IsTemporaryFolderSetting(const std::wstring& section, const std::wstring& key) {
  return section == sections::kTarvolin && (key == L"OwerCheckTm" || key == L"ListFileZip");
}

std::wstring ReadSetting(const std::wstring& section, const std::wstring& key) {
  const std::wstring cache_key = section + key;
  std::wstring cached = RunParameters().Get(cache_key);
  if (!cached.empty()) return cached;

  std::wstring value;
  if (IsTemporaryFolderSetting(section, key)) {
    value = ReadProfileString(CollapseBackslashes(TemporaryFolder() + L"\\" + kConfigurationFileName), section, key);
  } else if (const std::shared_ptr<const IniText> sealed = SealedConfiguration()) {
    value = sealed->Read(section, key);
  } else {
    value = ReadProfileString(ConfigurationFilePath(), section, key);
  }
  RunParameters().Set(cache_key, value);
  return value;
}

std::wstring ReadSettingOr(const std::wstring& section, const std::wstring& key, const std::wstring& fallback) {
  std::wstring value = ReadSetting(section, key);
  return value.empty() ? fallback : value;
}

bool IsTrueSettingText(const std::wstring& value) {
  std::wstring v = Trim(ToLower(value));
  v = ReplaceAll(ReplaceAll(v, L"t", L"1"), L"y", L"1");
  return StartsWith(v, L"1");
}

bool ReadSettingBool(const std::wstring& section, const std::wstring& key, const std::wstring& fallback) {
  return IsTrueSettingText(ReadSettingOr(section, key, fallback));
}

void WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  RunParameters().Set(section + key, value);
}

std::wstring ReadIniValueUncached(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
  return ReadProfileString(path, section, key);
}

std::wstring ReadIniValue(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
  std::wstring value = ReadProfileString(path, section, key);
  RunParameters().Set(section + key, value);
  return value;
}

std::wstring ConfigurationFolder() {
  std::wstring folder = StoredConfigurationFolder();
  if (!folder.empty()) return folder;
  return FolderOf(ExecutablePath()) + L"\\";
}

void SetConfigurationFolder(const std::wstring& folder) { StoreConfigurationFolder(folder); }

std::wstring ConfigurationFilePath() {
  return CollapseBackslashes(ConfigurationFolder() + L"\\" + kConfigurationFileName);
}

std::wstring MainApplicationPath() {
  std::wstring application = ReadSetting(sections::kApplication, L"Application");
  if (application.empty()) return application;
  if (!Contains(application, L":")) application = ConfigurationFolder() + L"\\" + application;
  return CollapseBackslashes(application);
}

}  // namespace tarvolin
