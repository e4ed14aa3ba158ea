// The list settings file: a password-protected archive the publisher may hand
// a run (it overrides download concurrency and other named values).
#pragma once

#include <optional>
#include <string>

namespace tarvolin {

// The archive password, unscrambled (38 bytes).
std::string ListSettingsPassword();

// Download concurrency named by the settings, clamped: files at once 1..50,
// threads per file 1..100. Nothing when the settings do not name them.
std::optional<int> ConfiguredFilesAtOnce();
std::optional<int> ConfiguredThreadsPerFile();
// Block threads per file: the configured number, or 8.
int ThreadsPerFile();
int ClampFilesAtOnce(const std::wstring& value);
int ClampThreadsPerFile(const std::wstring& value);

// Whether a value the settings name is taken into the run parameters: every
// one normally, only the download tuning ("threadcount", "filethread") in the
// run with administrator rights.
bool IsTakenListSetting(const std::wstring& key, bool elevated);

// Reads the settings file of the current list, when there is one, into the run
// parameters. False when there is none or it cannot be read.
bool LoadListSettings();
// The same for a given file (used by start-up through the path above).
bool LoadListSettingsFrom(const std::wstring& path);

}  // namespace tarvolin
