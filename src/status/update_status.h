// The update status of the current run and its announcement.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

enum UpdateStatus : int {
  UpdateNone = 0,
  UpdateCheckRemote = 1,
  UpdateCheckRemoteError = 2,
  UpdateCheckRemoteOk = 3,
  UpdateDownload = 4,
  UpdateDownloadError = 5,
  UpdateDownloadOk = 6,
  UpdateCheckLocal = 7,
  UpdateCheckLocalError = 8,
  UpdateCheckLocalOk = 9,
  UpdateCopy = 10,
  UpdateCopyError = 11,
  UpdateCopyOk = 12,
  UpdateEnd = 13,
};

// "UpdateNone" ... "UpdateEnd"; empty for values without a name.
std::wstring StatusName(int status);

int CurrentStatus();
// Number of due file records of the current update.
int RecordsToUpdate();
void SetRecordsToUpdate(int count);

void SetStatus(int status, HWND report_window);

}  // namespace tarvolin
