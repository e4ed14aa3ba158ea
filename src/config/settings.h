// Access to tarvolin.ini: every value read is kept in the run parameters under
// section+key, so later reads and writes in the same run agree.
#pragma once

#include <string>

namespace tarvolin {

namespace sections {
inline constexpr wchar_t kTarvolin[] = L"Tarvolin";
inline constexpr wchar_t kUpdateInfo[] = L"UPDATEINFO";
inline constexpr wchar_t kApplication[] = L"APPLICATION";
inline constexpr wchar_t kUpdateEvent[] = L"UpdateEvent";
inline constexpr wchar_t kUpdateEventWaitClose[] = L"UpdateEventWaitClose";
}  // namespace sections

inline constexpr wchar_t kConfigurationFileName[] = L"tarvolin.ini";

std::wstring ReadSetting(const std::wstring& section, const std::wstring& key);
std::wstring ReadSettingOr(const std::wstring& section, const std::wstring& key, const std::wstring& fallback);
bool ReadSettingBool(const std::wstring& section, const std::wstring& key, const std::wstring& fallback);
// Kept in memory for the rest of the run; the file is rebuilt at every start.
void WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);
// One value (up to 1000 characters) from any INI file; also cached under section+key.
std::wstring ReadIniValue(const std::wstring& path, const std::wstring& section, const std::wstring& key);
// The same without the cache, for files whose keys share names with ours.
std::wstring ReadIniValueUncached(const std::wstring& path, const std::wstring& section, const std::wstring& key);

// Ends with a backslash. Before start-up fixes it, the executable's folder.
std::wstring ConfigurationFolder();
void SetConfigurationFolder(const std::wstring& folder);
std::wstring ConfigurationFilePath();
// [APPLICATION] Application, made absolute against the configuration folder.
std::wstring MainApplicationPath();

// The boolean rule of the configuration file: trimmed, lower-cased, "t" and "y"
// read as "1", true when the result begins with "1".
bool IsTrueSettingText(const std::wstring& value);
// The section and key whose value lives in the temporary folder's copy of the file.
bool IsTemporaryFolderSetting(const std::wstring& section, const std::wstring& key);

}  // namespace tarvolin
