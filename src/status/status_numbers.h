// The update status numbers and their names. No Windows headers here.
#pragma once

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

}  // namespace tarvolin
