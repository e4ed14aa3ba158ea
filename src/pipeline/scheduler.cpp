#include "pipeline/scheduler.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "archive/zip_archive.h"
#include "common/files.h"
#include "common/process_state.h"
#include "common/thread_pool.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "download/packed_fetch.h"
#include "download/transfer_messages.h"
#include "download/transfer_rules.h"
#include "pipeline/download_list.h"
#include "pipeline/parked_files.h"
#include "pipeline/patched_fetch.h"
#include "pipeline/schedule_rules.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "updatelist/file_digest.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_settings.h"
#include "updatelist/list_url.h"
#include "updatelist/trust_rules.h"
#include "updatelist/update_list.h"

namespace tarvolin {
namespace {

constexpr int kDefaultFilesAtOnce = 8;
// Beside a packed file: its content, unpacked only to check its digest.
constexpr wchar_t kDigestScratchSuffix[] = L".digest";

// One download pass at a time per process. Everything here is this process's
// own, so it is guarded in-process; nothing is held across a SendMessageW, so a
// hung window holds up only the thread that sends to it.
struct SchedulerState {
  std::atomic<HWND> window{nullptr};
  std::atomic<int> done{0};
  std::atomic<int> running{0};
  std::mutex failed_guard;
  std::vector<int> failed;
  // Woken whenever a file thread ends, so the pass waits without spinning.
  std::mutex ended_guard;
  std::condition_variable file_ended;
};

SchedulerState& State() {
  // Never destroyed: a thread still ending at exit may touch it.
  static SchedulerState* state = new SchedulerState;
  return *state;
}

int ErrorCount() {
  std::lock_guard<std::mutex> guard(State().failed_guard);
  return static_cast<int>(State().failed.size());
}

void NoteFileEnded() {
  { std::lock_guard<std::mutex> hold(State().ended_guard); }
  State().file_ended.notify_all();
}

// A file thread that could not finish its record (it threw, or never
// started) counts the file as failed, so the pass still ends.
void CountAsFailed(int index) {
  {
    std::lock_guard<std::mutex> guard(State().failed_guard);
    State().failed.push_back(index);
  }
  --State().running;
  NoteFileEnded();
}

// Waits until `finished` holds, waking at every file's end (and now and then
// regardless, should a wake be missed).
template <typename Condition>
void WaitUntil(Condition finished) {
  std::unique_lock<std::mutex> hold(State().ended_guard);
  while (!finished()) State().file_ended.wait_for(hold, std::chrono::milliseconds(50));
}

int FilesAtOnce() { return ConfiguredFilesAtOnce().value_or(kDefaultFilesAtOnce); }

void SendToWindow(unsigned message, WPARAM wparam, LPARAM lparam) {
  if (HWND window = State().window.load()) ::SendMessageW(window, message, wparam, lparam);
}

void SendFileState(int index, LPARAM state) {
  SendToWindow(transfer_messages::kDownloadFileState, static_cast<WPARAM>(index), state);
  if (state == transfer_messages::kFileDone)
    SendToWindow(transfer_messages::kDownloadThreads, static_cast<WPARAM>(index), 0);
}

void ShowStatusText(const std::wstring& text) {
  if (HWND window = State().window.load()) SendStatusText(window, text, -1);
}

void RefreshStatusText() {
  int records = CurrentDownLoadList().Count();
  int errors = ErrorCount();
  int done = State().done.load();
  using std::to_wstring;
  std::wstring text =
      errors > 0 ? FormatPlaceholders(Translate(L"Error %d files,complete %d/%d"), {to_wstring(errors), to_wstring(done), to_wstring(records)})
                 : FormatPlaceholders(Translate(L"Downloading, complete %d/%d, total thread %d ..."),
                                      {to_wstring(done), to_wstring(records), to_wstring(State().running.load())});
  ShowStatusText(text);
  SendFileProgressToStatusWindows(done, records);
}

void NoteForRecord(int index, const wchar_t* format, const std::wstring& value) {
  CurrentDownLoadList().AppendRecordMessage(index, FormatPlaceholders(Translate(format), {value}));
}

// A file whose record promises a digest must have it before it goes further.
bool HasPromisedDigest(int index, const std::wstring& file) {
  auto record = CurrentDownLoadList().Record(index);
  return !record || FileHasPromisedDigest(*record, file);
}

// A packed copy that stays packed is checked through a scratch copy of its content.
bool PackedHasPromisedDigest(int index, const std::wstring& packed) {
  auto record = CurrentDownLoadList().Record(index);
  return !record || PackedFileHasPromisedDigest(*record, packed);
}

// A file parked by an earlier run for this very record needs no traffic.
bool ReuseParkedFile(HWND window, int index, const std::wstring& url, const std::wstring& target) {
  const std::wstring parked = target + kParkedSuffix;
  if (!FileExists(parked)) return false;
  auto record = CurrentDownLoadList().Record(index);
  if (!record || !IsParkedFor(target, url, record->version) || !FileHasPromisedDigest(*record, parked)) {
    // Parked for another release, or damaged since: never install it as this one.
    ::SetFileAttributesW(parked.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(parked.c_str());
    ForgetParked(target);
    return false;
  }
  const long long size = FileLength(parked).value_or(0);
  const LPARAM length = ScaledForMessage(size, MessageShift(size));
  if (window) {
    ::SendMessageW(window, transfer_messages::kDownloadSize, static_cast<WPARAM>(index), length);
    ::SendMessageW(window, transfer_messages::kDownloadProgress, static_cast<WPARAM>(index), length);
  }
  return true;
}

bool Park(int index, const std::wstring& url, const std::wstring& target) {
  if (!RobustRename(target, target + kParkedSuffix)) return false;
  auto record = CurrentDownLoadList().Record(index);
  RememberParked(target, url, record ? record->version : std::wstring());
  return true;
}

}  // namespace

std::wstring DownloadFolder() { return CachedListStem(); }

bool PackedFileHasPromisedDigest(const updatefileinfo& record, const std::wstring& packed) {
  // Unpacked even without a digest: the archive must hold the one file it stands for.
  const std::wstring scratch = packed + kDigestScratchSuffix;
  const bool matches = UnpackSingleFile(packed, scratch) && FileHasPromisedDigest(record, scratch);
  ::DeleteFileW(scratch.c_str());
  return matches;
}

std::wstring BuildFileUrl(const updatefileinfo& record) {
  return BuildFileUrlFrom(record.url, record.path, FileUrlTemplate(), ListUrlBase());
}

int DownloadOneFile(HWND window, int index, const std::wstring& url, const std::wstring& target, bool single_stream) {
  if (ReuseParkedFile(window, index, url, target)) return 0;
  // A changed file may come as a patch against the installed one.
  if (auto record = CurrentDownLoadList().Record(index); record && FetchThroughPatch(window, index, *record, target)) {
    NoteForRecord(index, L"done[%s]", target + kPatchSuffix);
    return Park(index, url, target) ? 0 : 1;
  }
  PackedFetchRequest request{.url = url,
                             .target = target,
                             .packed_first = true,
                             .unzip = ReadSettingBool(sections::kTarvolin, L"UnZip", L"1"),
                             .threads = ThreadsPerFile(),
                             .single_stream = single_stream,
                             .window = window,
                             .caller_value = static_cast<WPARAM>(index)};
  auto note = [index](const wchar_t* format, const std::wstring& value) { NoteForRecord(index, format, value); };
  switch (FetchPackedOrPlain(request, note)) {
    case FetchedForm::kNone:
      return 1;
    case FetchedForm::kPacked:
      if (!PackedHasPromisedDigest(index, target + kZippedSuffix)) {
        ::DeleteFileW((target + kZippedSuffix).c_str());
        return 1;
      }
      // The packed form is installed as it is; a plain file from before goes aside.
      if (FileExists(target)) RobustRename(target, target + kParkedSuffix);
      return 0;
    case FetchedForm::kPlain:
    case FetchedForm::kUnpacked:
      break;
  }
  // A file that is not what the list promised never reaches the installation.
  if (!HasPromisedDigest(index, target)) {
    ::DeleteFileW(target.c_str());
    return 1;
  }
  return Park(index, url, target) ? 0 : 1;
}

void DownloadRecord(int index) {
  auto record = CurrentDownLoadList().Record(index);
  if (record) {
    record->spare.clear();
    CurrentDownLoadList().UpdateRecord(index, *record);
    if (!IsFetchedAction(record->action)) {
      ++State().done;
    } else {
      SendFileState(index, transfer_messages::kFileStarted);
      std::wstring target = CollapseBackslashes(DownloadFolder() + L"\\" + record->path);
      CreateDirectoryTree(FolderOf(target));
      if (DownloadOneFile(State().window.load(), index, BuildFileUrl(*record), target, false) != 0) {
        {
          std::lock_guard<std::mutex> guard(State().failed_guard);
          State().failed.push_back(index);
        }
        SendFileState(index, transfer_messages::kFileFailed);
        WriteLog(FormatPlaceholders(Translate(L"error[%s]"), {record->path}));
      } else {
        ++State().done;
        SendFileState(index, transfer_messages::kFileDone);
        WriteLog(FormatPlaceholders(Translate(L"done[%s]"), {record->path}));
      }
    }
  }
  --State().running;
  RefreshStatusText();
  NoteFileEnded();
}

// One file's download as a task on the kept transfer threads; the pass waits
// for it. A file whose task could not start, or ended on an unexpected error,
// counts as failed so the pass still ends.
void RunFileTask(TaskGroup& files, int index) {
  try {
    files.Run([index] {
      bool finished = false;
      try {
        DownloadRecord(index);
        finished = true;
      } catch (...) {
        WriteLog(L"A download thread stopped on an unexpected error.");
      }
      if (!finished) CountAsFailed(index);
    });
  } catch (...) {
    CountAsFailed(index);
  }
}

int FailedDownloadCount() { return ErrorCount(); }

bool DownloadAll(HWND window) {
  if (CurrentStatus() != UpdateDownload) SetStatus(UpdateDownload, window);
  State().window = window;
  State().running = 0;

  std::vector<int> queue;
  std::wstring text;
  {
    std::lock_guard<std::mutex> guard(State().failed_guard);
    if (State().failed.empty()) {
      // A full pass starts counting afresh; a retry pass keeps what earlier passes did.
      State().done = 0;
      for (int i = 0; i < CurrentDownLoadList().Count(); ++i) queue.push_back(i);
      text = Translate(L"Downloading to temporary directory...");
    } else {
      queue = State().failed;
      text = Translate(L"Downloading error files...");
    }
    State().failed.clear();
  }
  ShowStatusText(text);
  WriteLog(text);

  const int files_at_once = FilesAtOnce();
  const int done_at_start = State().done.load();
  // Waited for before the pass ends: no file's task outlives the pass.
  TaskGroup files(TransferThreads());
  for (std::size_t i = 0; i < queue.size(); ++i) {
    ++State().running;
    RefreshStatusText();
    RunFileTask(files, queue[i]);
    WaitUntil([&] {
      return !QueueMustWait(static_cast<int>(i), State().done.load() - done_at_start, ErrorCount(), files_at_once);
    });
  }
  const int records = CurrentDownLoadList().Count();
  WaitUntil([&] { return ErrorCount() + State().done.load() >= records && State().running.load() <= 0; });
  files.Wait();

  const int done = State().done.load();
  const int errors = ErrorCount();
  SetStatus(done >= records ? UpdateDownloadOk : UpdateDownloadError, window);
  RefreshStatusText();
  using std::to_wstring;
  std::wstring final_text =
      errors == 0 ? FormatPlaceholders(Translate(L"Download completed %d/%d."), {to_wstring(done), to_wstring(records)})
                  : FormatPlaceholders(Translate(L"Error %d files,complete %d/%d"), {to_wstring(errors), to_wstring(done), to_wstring(records)});
  ShowStatusText(final_text);
  WriteLog(final_text);
  return true;
}

}  // namespace tarvolin
