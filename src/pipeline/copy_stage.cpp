#include "pipeline/copy_stage.h"

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "download/packed_fetch.h"
#include "download/transfer_messages.h"
#include "install/access_grant.h"
#include "install/file_replacement.h"
#include "install/release_return.h"
#include "install/run_file.h"
#include "install/shortcuts.h"
#include "install/task_script.h"
#include "pipeline/download_list.h"
#include "pipeline/scheduler.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "updatelist/comparison.h"
#include "updatelist/destination_paths.h"
#include "updatelist/file_digest.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_signature.h"
#include "updatelist/remote_version.h"
#include "updatelist/update_list.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

namespace texts {
constexpr wchar_t kCopyFromTemporary[] = L"Copy from temporary directory";
constexpr wchar_t kCopying[] = L"Copying files[%d/%d]...";
constexpr wchar_t kUpgradeTasks[] = L"Do upgrade tasks";
constexpr wchar_t kRegisterFile[] = L"Register file";
constexpr wchar_t kRemoveFile[] = L"Remove file";
constexpr wchar_t kClearTemp[] = L"Clear temp files";
constexpr wchar_t kCompleted[] = L"Update completed,done %d files";
constexpr wchar_t kNeedRestart[] = L"Need to restart your computer";
}  // namespace texts

constexpr wchar_t kUnZipKey[] = L"UnZip";
constexpr wchar_t kVersionKey[] = L"Ver";
constexpr char kRegisterExport[] = "DllRegisterServer";
constexpr wchar_t kDoubledListSuffix[] = L".xml.xml";
constexpr wchar_t kListSuffix[] = L".xml";
// As patient as the robust rename with a list that a scanner holds a moment.
constexpr int kReplaceTries = 20;
constexpr DWORD kReplacePauseMs = 800;

void Report(HWND window, const std::wstring& text) { ReportTaskStatus(window, text); }

std::wstring Bracketed(const wchar_t* text, const std::wstring& path) { return Translate(text) + L"[" + path + L"]"; }

// A record of the download list that stands for a file to install.
bool IsInstallable(const updatefileinfo& record) {
  return IsFileRecord(record) && (record.action & ActionDelete) == 0;
}

void RegisterComponent(const std::wstring& path) {
  unique_hmodule library(::LoadLibraryW(path.c_str()));
  if (!library) {
    WriteLog(FormatWide(L"cannot load[%ls], error %lu", path.c_str(), ::GetLastError()));
    return;
  }
  using RegisterFn = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<RegisterFn>(
      reinterpret_cast<void*>(::GetProcAddress(library.get(), kRegisterExport)));
  if (!entry) {
    WriteLog(FormatWide(L"no registration entry in[%ls]", path.c_str()));
    return;
  }
  HRESULT result = entry();
  if (FAILED(result)) WriteLog(FormatWide(L"registration of[%ls] failed: 0x%08lx", path.c_str(), result));
}

// Installs every record's file, in list order, up to the first that fails;
// every change goes to `journal` first. True when every record went in.
bool CopyPhase(HWND window, const std::vector<updatefileinfo>& records, const std::wstring& download_folder,
               const std::wstring& grant_tool, CopyJournal& journal) {
  const int count = static_cast<int>(records.size());
  for (int i = 0; i < count; ++i) {
    if (window)
      ::SendMessageW(window, transfer_messages::kCopyProgress, static_cast<WPARAM>(i), static_cast<LPARAM>(count));
    ::Sleep(1);
    if (window) {
      SendStatusText(window, FormatPlaceholders(Translate(texts::kCopying), {std::to_wstring(i + 1), std::to_wstring(count)}), status_protocol::kNoProgress);
    }
    const updatefileinfo& record = records[static_cast<std::size_t>(i)];
    if (!IsInstallable(record)) continue;
    const std::vector<std::wstring> destinations = DestinationPaths(record);
    if (destinations.empty()) continue;
    const std::wstring source = CollapseBackslashes(download_folder + L"\\" + record.path);
    // Hashed again right before it goes in: the downloaded file lay in a
    // folder that other programs of the reader can write to.
    const auto promised = [&record](const std::wstring& staged) { return FileHasPromisedDigest(record, staged); };
    if (!UpdateOneFile(source, destinations, journal, promised)) {
      WriteLog(FormatWide(L"not updated[%ls]", record.path.c_str()));
      return false;
    }
    // Granted once the new files are there: a grant on the file about to be
    // replaced would go with it.
    GrantUsersAccess(grant_tool, destinations);
  }
  return true;
}

std::wstring ComparablePath(const std::wstring& path) {
  return ToLower(CollapseBackslashes(ReplaceAll(path, L"/", L"\\")));
}

// A file of the download folder as it goes in whole (UnZip off), hashed again
// like any downloaded file: a record's parked file, or its packed form, which
// goes in packed. Anything else there came from no list and goes in only where
// nothing is verified.
bool DownloadedFileHasPromisedDigest(const std::vector<updatefileinfo>& records, const std::wstring& download_folder,
                                     const std::wstring& source, const std::wstring& staged) {
  const std::wstring moving = ComparablePath(source);
  for (const updatefileinfo& record : records) {
    if (!IsInstallable(record)) continue;
    const std::wstring downloaded = ComparablePath(download_folder + L"\\" + record.path);
    if (moving == downloaded + kParkedSuffix) return FileHasPromisedDigest(record, staged);
    if (moving == downloaded + kZippedSuffix) return PackedFileHasPromisedDigest(record, staged);
  }
  if (!BookListSigningKey().required) return true;
  WriteLog(FormatWide(L"not in the list, not installed[%ls]", source.c_str()));
  return false;
}

// The records' links, once every file is in: a failed copy returns to the
// previous release and must leave no link to a file of this one behind.
void ShortcutPhase(HWND window, const std::vector<updatefileinfo>& records) {
  for (const updatefileinfo& record : records) {
    if (!IsInstallable(record)) continue;
    const std::vector<std::wstring> destinations = DestinationPaths(record);
    if (!destinations.empty()) CreateRecordShortcuts(destinations.front(), record, window);
  }
}

// Register, run and remove, record by record. True when a restart is needed.
bool TaskPhase(HWND window, const std::vector<updatefileinfo>& records) {
  bool restart = false;
  for (const updatefileinfo& record : records) {
    if (record.action == 0 || !IsFileRecord(record)) continue;
    if (record.action & ActionBoot) restart = true;
    const std::vector<std::wstring> destinations = DestinationPaths(record);
    for (std::size_t i = 0; i < destinations.size(); ++i) {
      const std::wstring& path = destinations[i];
      if ((record.action & ActionRegister) && i == 0) {
        Report(window, Bracketed(texts::kRegisterFile, path));
        RegisterComponent(path);
      }
      if (!(record.action & ActionDelete) && (record.action & ActionRun)) RunFile(path, L"", L"", false, window);
      if (record.action & ActionDelete) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (::DeleteFileW(path.c_str())) Report(window, Bracketed(texts::kRemoveFile, path));
      }
    }
  }
  return restart;
}

// The list fetched again from its address, when the copy of the check is
// gone; only accepted when it still describes the files just installed (a
// release published in between must not be taken for this one).
bool FetchListAgain(const std::wstring& cached_list, const std::vector<updatefileinfo>& installed) {
  std::optional<std::wstring> url = RunParameters().Find(kListDownloadKeyPrefix + cached_list);
  if (!url || url->empty()) return false;
  if (!DownloadListFile(*url, cached_list, ListRole::kList)) return false;
  std::vector<updatefileinfo> listed;
  if (!LoadUpdateList(cached_list, listed, true) || !ListCoversRecords(listed, installed)) {
    WriteLog(FormatWide(L"the list at[%ls] no longer describes this update", url->c_str()));
    return false;
  }
  return true;
}

// True when the fetched list is at hand to become the installed list, fetched
// again when the copy of the check is gone. Asked before any task runs: once
// the tasks have run, the copy can no longer be taken back whole.
bool FetchedListAtHand(const std::vector<updatefileinfo>& installed) {
  const std::wstring cached = CachedListPath();
  if (FileExists(cached) || FileExists(AlternateCachedListName(cached)) || FetchListAgain(cached, installed)) {
    return true;
  }
  WriteLog(FormatWide(L"cannot save the installed list[%ls]",
                      CollapseBackslashes(ConfigurationFolder() + kInstalledListName).c_str()));
  return false;
}

// True when the fetched list is now the installed list.
bool HandOverInstalledList(const std::vector<updatefileinfo>& installed, const std::wstring& grant_tool) {
  const std::wstring target = CollapseBackslashes(ConfigurationFolder() + kInstalledListName);
  const std::wstring cached = CachedListPath();
  const std::wstring alternate = AlternateCachedListName(cached);
  bool done = FileExists(cached) && ReplaceFileWhole(cached, target);
  if (!done) done = FileExists(alternate) && ReplaceFileWhole(alternate, target);
  if (!done) done = FetchListAgain(cached, installed) && ReplaceFileWhole(cached, target);
  if (!done) {
    WriteLog(FormatWide(L"cannot save the installed list[%ls]", target.c_str()));
    return false;
  }
  // Uninstall holds the installed list to the key through these.
  KeepVerifiedCopiesOfThisUpdate(target);
  GrantUsersAccess(grant_tool, {target});
  return true;
}

// Disables the window's Cancel button for as long as it lives.
class CancelButtonDisabled {
 public:
  explicit CancelButtonDisabled(HWND window) : button_(window ? ::GetDlgItem(window, IDCANCEL) : nullptr) {
    if (button_) ::EnableWindow(button_, FALSE);
  }
  ~CancelButtonDisabled() {
    if (button_) ::EnableWindow(button_, TRUE);
  }
  CancelButtonDisabled(const CancelButtonDisabled&) = delete;
  CancelButtonDisabled& operator=(const CancelButtonDisabled&) = delete;

 private:
  HWND button_;
};

// Puts back what a failed copy changed. Always false: the update did not happen.
bool ReturnAfterFailedCopy(CopyJournal& journal, HWND window) {
  ReturnToPreviousRelease(journal, window);
  WriteLog(L"the update was not installed; the installed list stays as it was");
  return false;
}

}  // namespace

std::wstring AlternateCachedListName(const std::wstring& cached_list) {
  if (Contains(cached_list, kDoubledListSuffix)) return ReplaceAll(cached_list, kDoubledListSuffix, kListSuffix);
  return cached_list + kListSuffix;
}

bool ListCoversRecords(const std::vector<updatefileinfo>& listed, const std::vector<updatefileinfo>& installed) {
  for (const updatefileinfo& record : installed) {
    if (!IsInstallable(record)) continue;
    bool found = false;
    for (const updatefileinfo& candidate : listed) {
      if (candidate.path == record.path && candidate.version == record.version) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool ReplaceFileWhole(const std::wstring& source, const std::wstring& target) {
  const std::wstring staged = target + kStagedSuffix;
  if (!::MoveFileExW(source.c_str(), staged.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    WriteLog(FormatWide(L"move file error[%ls]to[%ls]", source.c_str(), staged.c_str()));
    return false;
  }
  for (int i = 0; i < kReplaceTries; ++i) {
    if (FileExists(target)) ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    ::Sleep(kReplacePauseMs);
  }
  WriteLog(FormatWide(L"move file error[%ls]to[%ls]", staged.c_str(), target.c_str()));
  ::MoveFileExW(staged.c_str(), source.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
  return false;
}

bool CopyAndFinish(HWND window) {
  const std::wstring grant_tool = ConfiguredGrantTool();
  const bool unzip = ReadSettingBool(sections::kTarvolin, kUnZipKey, L"1");
  Report(window, Translate(texts::kCopyFromTemporary));
  const std::wstring download_folder = DownloadFolder();

  // A return that could not be finished still needs its backups; a copy over
  // it would mix a third release in.
  if (!FinishInterruptedReturn()) return false;
  CopyJournal journal = CopyJournal::CarryOn();
  if (!unzip) {
    // The download folder is the release as it is to stand in the application folder.
    const auto promised = [&download_folder](const std::wstring& source, const std::wstring& staged) {
      return DownloadedFileHasPromisedDigest(CurrentDownLoadList().Records(), download_folder, source, staged);
    };
    if (!MoveTree(download_folder, ConfigurationFolder(), journal, promised))
      return ReturnAfterFailedCopy(journal, window);
    journal.Close();
    return true;
  }
  const std::vector<updatefileinfo> records = CurrentDownLoadList().Records();
  if (!CopyPhase(window, records, download_folder, grant_tool, journal) || !FetchedListAtHand(records)) {
    // Saying these files are at the new version would hide them from the next
    // check, and half a release is no release: back to the one before.
    return ReturnAfterFailedCopy(journal, window);
  }
  // Every file of the release is in: from here on the update only goes forward.
  journal.Close();
  ShortcutPhase(window, records);

  Report(window, Translate(texts::kUpgradeTasks));
  const bool restart = TaskPhase(window, records);
  RunTasks(CurrentDownLoadList().Tasks(), window);

  Report(window, Translate(texts::kClearTemp));
  DeleteTree(download_folder);
  Report(window, FormatPlaceholders(Translate(texts::kCompleted), {std::to_wstring(records.size())}));
  if (restart) Report(window, Translate(texts::kNeedRestart));

  // Without the new installed list the next check would fetch all of this
  // again, and "Ver" must not claim a release the list does not describe.
  return HandOverInstalledList(records, grant_tool);
}

void InstallUpdate(HWND window) {
  if (CurrentStatus() != UpdateCheckLocalOk) return;
  SetStatus(UpdateCopy, window);
  ComThreadScope com;
  bool installed = false;
  {
    CancelButtonDisabled cancel(window);
    installed = CopyAndFinish(window);
  }
  if (!installed) {
    SetStatus(UpdateCopyError, window);
    return;
  }
  SetStatus(UpdateCopyOk, window);
  const std::wstring version = RemoteVersionLabel();
  if (!version.empty()) WriteSetting(sections::kApplication, kVersionKey, version);
}

}  // namespace tarvolin
