// Stages of the run that this build does not carry yet. Each one says so in the
// log and reports failure, so no mode pretends to have done its work. They move
// to their own subsystems as those are built.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

// Per-file download in list mode (index -1): 0 on success.
int DownloadListFile(const std::wstring& url, const std::wstring& path);
// The package that may be appended to the executable.
void CheckAppendedPackage();
void PurgeOldFiles();
void EnableActiveXHosting();
void InstallDotNet(HWND parent, const std::wstring& version);
// Loads the download list handed over to the elevated copy; number of records.
int LoadHandOverList(const std::wstring& path);

// The update pipeline.
void CheckEntry(HWND report_window);
void CheckThreadProc(HWND report_window);
void DownloadAll(HWND report_window);
bool FailedDownloadsRemain();
void CheckLocalStage(HWND report_window);
void InstallUpdate(HWND report_window);
bool RightsListEmpty();
void ClearRightsList();
void RelaunchElevated(bool save_list);
// Windows of the run modes; each returns when its window has ended.
void RunMostSimpleWindow(int window_mode, HWND parent);
void RunUpdaterIconWindow();
void UninstallInstalledFiles();

}  // namespace tarvolin

namespace tarvolin {
// Current and previous machine identity; false when it cannot be read.
bool ReadMachineIdentity(std::wstring& current, std::wstring& previous);
}  // namespace tarvolin
