// Names of the files the updater caches per list URL, and the clean-up of the
// externally supplied list settings file.
#pragma once

#include <string>

namespace tarvolin {

// A 10-hex-digit digest of the text, written "XXXX-XXXXXX".
std::wstring ListCacheName(const std::wstring& text);

// Temporary folder + "\" + ListCacheName(ListURL + "9999999999"): the stem of the
// cached list files and the download folder of the current list.
std::wstring CachedListStem();

// The path the downloaded list is kept under: stem + ".xml", or the override a
// quick check sets to reuse the previous list.
std::wstring CachedListPath();
void SetListFileOverride(const std::wstring& path);

// The list settings file that a run may have been given.
std::wstring ListSettingsFilePath();

// Deletes a stale list settings file and records the time of this run.
void CleanStaleCacheMarker();

}  // namespace tarvolin
