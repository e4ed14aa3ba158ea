#include "install/locked_files.h"

#include <initializer_list>

#include "common/files.h"
#include "common/has_suffix.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "config/translation_table.h"
#include "install/main_program.h"
#include "install/rights_list.h"

namespace tarvolin {
namespace {

constexpr wchar_t kRenameTestSuffix[] = L".__test";
constexpr const wchar_t* kProgramSuffixes[] = {L".exe", L".dll"};
constexpr wchar_t kPromptCaption[] = L"Tarvolin";
constexpr wchar_t kDisplayNameKey[] = L"Name";

constexpr wchar_t kOverwritePrompt[] = L"Can't overwrite the file,Please close it.";
constexpr wchar_t kCheckingText[] = L"Check locked file...";
constexpr wchar_t kExaminingText[] = L"Examining the %d files,total of %d...";
constexpr wchar_t kLockedFileText[] = L"File is locked";
constexpr wchar_t kLockedSummaryText[] = L"%d update files has %d locked";
constexpr wchar_t kNoLockedText[] = L"No locked files";
constexpr wchar_t kCloseQuestion[] = L"Find main program [%s] not closed, Close it now?";
constexpr wchar_t kClosedText[] = L"The main program has closed";

// The one place where the write test reads the system's last error.
DWORD Outcome(bool succeeded) { return succeeded ? ERROR_SUCCESS : ::GetLastError(); }

bool HasProgramSuffix(const std::wstring& path) {
  for (const wchar_t* suffix : kProgramSuffixes) {
    if (HasSuffix(path, suffix)) return true;
  }
  return false;
}

// A file that does not exist yet: only whether it could be created matters.
bool TestNewFile(const std::wstring& path, const FileAccess& files) {
  // Once the run needs elevation anyway, further new files need no test.
  if (!RightsList().Empty()) return true;
  const DWORD error = files.CreateAndDelete(path);
  if (error != ERROR_SUCCESS) AddToRightsList(path, error);
  return true;
}

// A running program cannot be opened for writing, but it can be renamed, and
// the copy stage replaces it by renaming. Hence the rename test for programs.
DWORD TestByRenaming(const std::wstring& path, const FileAccess& files, bool& restored) {
  const std::wstring probe = path + kRenameTestSuffix;
  files.Delete(probe);
  const DWORD error = files.Rename(path, probe);
  restored = true;
  if (error != ERROR_SUCCESS) return error;
  const DWORD back = files.Rename(probe, path);
  if (back != ERROR_SUCCESS) {
    restored = false;
    WriteLog(FormatWide(L"Could not rename [%ls] back from [%ls], error %lu", path.c_str(), probe.c_str(), back));
  }
  return ERROR_SUCCESS;
}

std::wstring ApplicationFolderFile(const std::wstring& name) {
  return CollapseBackslashes(ConfigurationFolder() + L"\\" + name);
}

bool IsNonFileRecord(const updatefileinfo& record) {
  return record.action == DescriptionRecord || record.action == TaskRecord;
}

// Asks whether to close the main program; only the minimal window asks, every other mode answers No.
bool UserWantsMainProgramClosed() {
  if (RunParameters().Get(kUpdateSkinParameter) != kMinimalUpdateSkin) return false;
  const std::wstring question = FormatPlaceholders(Translate(kCloseQuestion) + L"\n%s",
                                                 {ReadSetting(sections::kApplication, kDisplayNameKey),
                                                  MainProgramFullPath()});
  return ::MessageBoxW(nullptr, question.c_str(), Translate(kPromptCaption).c_str(), MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

}  // namespace

bool FileAccess::Exists(const std::wstring& path) const { return FileExists(path); }

DWORD FileAccess::OpenForWriting(const std::wstring& path) const {
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return Outcome(static_cast<bool>(file));
}

DWORD FileAccess::Rename(const std::wstring& from, const std::wstring& to) const {
  return Outcome(::MoveFileExW(from.c_str(), to.c_str(), 0) != FALSE);
}

DWORD FileAccess::Delete(const std::wstring& path) const { return Outcome(::DeleteFileW(path.c_str()) != FALSE); }

DWORD FileAccess::ClearAttributes(const std::wstring& path) const {
  return Outcome(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE);
}

DWORD FileAccess::CreateAndDelete(const std::wstring& path) const {
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return Outcome(static_cast<bool>(file));
}

const FileAccess& SystemFileAccess() {
  static const FileAccess system;
  return system;
}

bool IsFileWritable(const std::wstring& path, const FileAccess& files) {
  if (ElevatedRun()) RightsList().Clear();
  if (!files.Exists(path)) return TestNewFile(path, files);
  if (files.OpenForWriting(path) == ERROR_SUCCESS) return true;

  DWORD error = ERROR_SUCCESS;
  if (HasProgramSuffix(path)) {
    bool restored = true;
    error = TestByRenaming(path, files, restored);
    if (error == ERROR_SUCCESS) return restored;
  } else {
    files.ClearAttributes(path);
    error = files.OpenForWriting(path);
    if (error == ERROR_SUCCESS) return true;
  }
  if (error != ERROR_ACCESS_DENIED) return false;
  // Not locked, only out of this run's reach: the elevated copy will deal with it.
  AddToRightsList(path, error);
  return true;
}

bool WaitFileWritable(const std::wstring& path, bool ask, const FileAccess& files) {
  for (;;) {
    if (IsFileWritable(path, files)) return true;
    if (!ask) return false;
    const std::wstring text = Translate(kOverwritePrompt) + L"\n" + path;
    if (::MessageBoxW(nullptr, text.c_str(), Translate(kPromptCaption).c_str(), MB_RETRYCANCEL | MB_ICONWARNING) !=
        IDRETRY)
      return false;
  }
}

bool CheckLockedFiles(HWND window, bool ask, const std::vector<updatefileinfo>& records,
                      const DestinationPathsFn& destinations, const FileAccess& files) {
  ShowAndLog(window, Translate(kCheckingText));
  const int count = static_cast<int>(records.size());
  int locked = 0;
  for (int i = 0; i < count && RightsList().Empty(); ++i) {
    // Gives the window's thread a moment between files of a long list.
    ::Sleep(1);
    ShowStatusLine(window,
                   FormatPlaceholders(Translate(kExaminingText), {std::to_wstring(i + 1), std::to_wstring(count)}));
    const updatefileinfo& record = records[i];
    if ((record.action & ActionDelete) != 0 || IsNonFileRecord(record)) continue;
    for (const std::wstring& path : destinations(record)) {
      if (WaitFileWritable(path, ask, files)) continue;
      ++locked;
      ShowAndLog(window, Translate(kLockedFileText) + L"[" + path + L"]");
    }
  }
  if (locked > 0) {
    ShowAndLog(window,
               FormatPlaceholders(Translate(kLockedSummaryText), {std::to_wstring(count), std::to_wstring(locked)}));
    return false;
  }
  ShowAndLog(window, Translate(kNoLockedText));
  return true;
}

bool PrepareInstall(HWND window, bool ask, const std::vector<updatefileinfo>& records,
                    const DestinationPathsFn& destinations, const FileAccess& files) {
  bool ok = IsMainProgramClosed(window);
  bool last_marker_locked = false;
  for (const wchar_t* marker : kInstallMarkerFiles) {
    const bool writable = WaitFileWritable(ApplicationFolderFile(marker), false, files);
    if (!writable) ok = false;
    last_marker_locked = !writable;
  }
  if (last_marker_locked || !ok) {
    if (UserWantsMainProgramClosed()) {
      CloseMainProgram(window);
      ShowAndLog(window, Translate(kClosedText));
    }
    // Whatever the answer, the locked-file check below has the last word.
    ok = true;
  }
  return ok && CheckLockedFiles(window, ask, records, destinations, files);
}

}  // namespace tarvolin
