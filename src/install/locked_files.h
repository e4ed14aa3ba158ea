// Making sure that nothing holds the files an update replaces: write tests per
// file, a Retry/Cancel prompt for locked ones, the check over a whole list and
// the preparation that also deals with the running main program.
//
// Thread affinity: the update window's worker thread (or the main thread of a
// run without windows). The prompts are modal on the calling thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "updatelist/update_list.h"
#include "updatelist/update_record.h"

namespace tarvolin {

// The run parameter that names the skin of the running update. Only the
// minimal window's update asks whether to close the main program.
inline constexpr wchar_t kUpdateSkinParameter[] = L"updateskin";
inline constexpr wchar_t kMinimalUpdateSkin[] = L"mostsimple";

// Files in the application folder that are tested before the main program question.
inline constexpr const wchar_t* kInstallMarkerFiles[] = {
    kInstalledListName,
    L"{2767A2C0-0767-4958-ADA9-E813DF1BC478}.xml",
    L"{2767A2C0-0767-4958-ADA9-E813DF1BC489}.xml",
};

// The file-system calls of the write test. Each returns the system error code
// of the call (ERROR_SUCCESS when it worked). The base class makes the real
// calls; a derived class can stand in front of them, which is how tests meet
// "access denied" on a machine where nothing denies it.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  virtual bool Exists(const std::wstring& path) const;
  // Opens for writing, sharing nothing, and closes again at once.
  virtual DWORD OpenForWriting(const std::wstring& path) const;
  virtual DWORD Rename(const std::wstring& from, const std::wstring& to) const;
  virtual DWORD Delete(const std::wstring& path) const;
  virtual DWORD ClearAttributes(const std::wstring& path) const;
  // Creates a new file and deletes it again.
  virtual DWORD CreateAndDelete(const std::wstring& path) const;
};

// The real file system.
const FileAccess& SystemFileAccess();

// False only for a file that another program holds. A file that needs
// administrator rights counts as writable and goes to the rights list; in the
// elevated run that list is emptied first, so it stays empty there.
bool IsFileWritable(const std::wstring& path, const FileAccess& files = SystemFileAccess());

// IsFileWritable; with `ask`, a locked file brings up a Retry/Cancel box until
// the file is free (true) or the user cancels (false).
bool WaitFileWritable(const std::wstring& path, bool ask, const FileAccess& files = SystemFileAccess());

// The full target paths of one record.
using DestinationPathsFn = std::function<std::vector<std::wstring>(const updatefileinfo&)>;

// Tests every target of every record that is not deleted, in order, while the
// rights list stays empty. Reports each locked path and a summary on
// `window`'s status line (may be null) and in the log. True when none is locked.
bool CheckLockedFiles(HWND window, bool ask, const std::vector<updatefileinfo>& records,
                      const DestinationPathsFn& destinations, const FileAccess& files = SystemFileAccess());

// The check before copying: the main program (offering to close it in the
// minimal window), the marker files, then CheckLockedFiles. True when the copy
// may go ahead.
bool PrepareInstall(HWND window, bool ask, const std::vector<updatefileinfo>& records,
                    const DestinationPathsFn& destinations, const FileAccess& files = SystemFileAccess());

}  // namespace tarvolin
