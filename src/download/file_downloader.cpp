#include "download/file_downloader.h"

#include <wininet.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "download/http_reply.h"
#include "download/internet_session.h"
#include "download/transfer_messages.h"
#include "download/transfer_registry.h"
#include "download/transfer_rules.h"
#include "status/status_windows.h"

namespace tarvolin {
namespace {

namespace kinds = registry_kinds;
namespace msg = transfer_messages;

// Always from the server, never into the cache.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr wchar_t kResumeHeaderFormat[] = L"Range:bytes=%ld-";
constexpr wchar_t kPartPathFormat[] = L"%ls.part%d";
constexpr int kEmptyReadsBeforeReconnect = 4;
constexpr DWORD kRetryPauseMs = 10;
constexpr DWORD kBlockStartPauseMs = 10;
constexpr DWORD kBlockEndPauseMs = 50;
constexpr unsigned long kStatusOk = 200;
constexpr unsigned long kStatusPartial = 206;
constexpr unsigned long kStatusNotFound = 404;

void Send(HWND window, unsigned message, WPARAM wparam, LPARAM lparam) {
  if (window) ::SendMessageW(window, message, wparam, lparam);
}

// One call of TransferRange: the connection, its retries and the read loop.
class RangeTransfer {
 public:
  RangeTransfer(const RangeRequest& request, ByteSink& sink)
      : request_(request),
        sink_(sink),
        start_(std::max(request.start, 0L)),
        length_(request.length),
        expected_(request.length),
        progress_limit_(request.file_size),
        piece_(kTransferPiece) {}

  bool Run() {
    bool ok = Transfer();
    if (!ok) {
      registry_.Stop(request_.transfer_id);
      Report(-received_);
    }
    sink_.Flush();
    connection_.reset();
    session_.reset();
    return ok;
  }

 private:
  enum class ReadOutcome { Done, Reconnect, Failed };
  enum class LengthOutcome { Known, Empty, Unnamed, Failed };

  bool Transfer() {
    bool take_length = length_ <= 0;
    for (;;) {
      if (!Connect()) return false;
      if (take_length) {
        take_length = false;
        switch (TakeLengthFromResponse()) {
          case LengthOutcome::Failed: return false;
          case LengthOutcome::Empty: return true;
          case LengthOutcome::Unnamed: return ReadToEnd();
          case LengthOutcome::Known: break;
        }
      }
      ReadOutcome outcome = ReadLoop();
      if (outcome == ReadOutcome::Failed) return false;
      if (outcome == ReadOutcome::Done) break;
      connection_.reset();
      session_.reset();
    }
    return sink_.Length() == expected_ && expected_ != 0;
  }

  // Opens a request from the resume point; false once the attempts are used up.
  bool Connect() {
    for (;;) {
      if (++attempts_ >= ConnectTryCount()) return false;
      long resume = start_ + received_;
      std::wstring header = resume > 0 ? FormatWide(kResumeHeaderFormat, resume) : std::wstring();
      connection_.reset();
      session_ = OpenSession(NextTransferAgent());
      if (session_) {
        connection_.reset(::InternetOpenUrlW(session_.get(), request_.url.c_str(),
                                             header.empty() ? nullptr : header.c_str(),
                                             static_cast<DWORD>(header.size()), kRequestFlags, 0));
      }
      if (connection_) {
        status_ = ReplyStatus(connection_.get());
        bool range_ignored = resume > 0 && status_ != kStatusPartial && status_ != 0;
        if (!range_ignored || Discard(resume)) return true;
        connection_.reset();
      }
      if (request_.give_up) return false;
      ::Sleep(kRetryPauseMs);
    }
  }

  // The server sent the file from its start: skip what we already have.
  bool Discard(long bytes) {
    while (bytes > 0) {
      DWORD got = 0;
      DWORD want = static_cast<DWORD>(std::min(bytes, kTransferPiece));
      if (!::InternetReadFile(connection_.get(), piece_.data(), want, &got) || got == 0) return false;
      bytes -= static_cast<long>(got);
    }
    return true;
  }

  LengthOutcome TakeLengthFromResponse() {
    if (status_ == kStatusNotFound || (status_ != kStatusOk && status_ != kStatusPartial)) {
      return LengthOutcome::Failed;
    }
    std::optional<long long> named = ReplyContentLength(connection_.get());
    if (!named) return LengthOutcome::Unnamed;
    if (*named > LONG_MAX) return LengthOutcome::Failed;
    length_ = expected_ = static_cast<long>(*named);
    AnnounceSize(length_);
    Send(request_.progress_window, msg::kDownloadThreads, request_.caller_value, 1);
    return length_ == 0 ? LengthOutcome::Empty : LengthOutcome::Known;
  }

  void AnnounceSize(long size) {
    progress_limit_ = size;
    Send(request_.progress_window, msg::kDownloadSize, request_.caller_value, size);
    Send(request_.progress_window, msg::kDownloadBlockSize, request_.caller_value, size);
  }

  ReadOutcome ReadLoop() {
    int empty_reads = 0;
    while (!registry_.Stopped(request_.transfer_id) && length_ > 0) {
      DWORD got = 0;
      // Never ask for more than the block still needs: an open-ended range
      // runs on to the end of the file, and a read that spills past the block
      // would come back neither a whole piece nor exactly the remainder.
      const DWORD want = static_cast<DWORD>(std::min(kTransferPiece, length_));
      if (!::InternetReadFile(connection_.get(), piece_.data(), want, &got)) got = 0;
      switch (ClassifyRead(static_cast<long>(got), length_)) {
        case ReadVerdict::Short:
          return ReadOutcome::Failed;
        case ReadVerdict::Empty:
          if (request_.give_up) return ReadOutcome::Failed;
          if (++empty_reads >= kEmptyReadsBeforeReconnect) return ReadOutcome::Reconnect;
          continue;
        case ReadVerdict::Good:
          attempts_ = 0;
          empty_reads = 0;
          break;
      }
      long keep = std::min(static_cast<long>(got), length_);
      if (!Store(keep)) return ReadOutcome::Failed;
      length_ -= static_cast<long>(got);
    }
    return ReadOutcome::Done;
  }

  // A reply that names no length: the body runs until the server ends it, and
  // what arrived is the file. Without a length nothing can be resumed.
  bool ReadToEnd() {
    progress_limit_ = LONG_MAX;
    Send(request_.progress_window, msg::kDownloadThreads, request_.caller_value, 1);
    for (;;) {
      if (registry_.Stopped(request_.transfer_id)) return false;
      DWORD got = 0;
      if (!::InternetReadFile(connection_.get(), piece_.data(), kTransferPiece, &got)) return false;
      if (got == 0) break;
      if (received_ > LONG_MAX - static_cast<long>(got)) return false;
      if (!Store(static_cast<long>(got))) return false;
    }
    expected_ = received_;
    AnnounceSize(expected_);
    return sink_.Length() == expected_;
  }

  bool Store(long count) {
    if (!sink_.Write(piece_.data(), static_cast<std::size_t>(count))) return false;
    received_ += count;
    Report(count);
    return true;
  }

  void Report(long bytes) {
    long id = request_.transfer_id;
    long total = registry_.AddClamped(kinds::kBytesReceived, id, bytes, progress_limit_);
    Send(request_.progress_window, msg::kDownloadProgress, request_.caller_value, total);
    SendTransferProgressToStatusWindows(progress_limit_, total);
    long block = registry_.AddClamped(kinds::kBlockBytes | static_cast<std::uint32_t>(request_.block_index), id,
                                      bytes, progress_limit_);
    Send(request_.progress_window, msg::kDownloadBlockProgress,
         msg::BlockProgressParam(request_.block_index, request_.caller_value), block);
  }

  const RangeRequest& request_;
  ByteSink& sink_;
  TransferRegistry& registry_ = TransferRegistry::Instance();
  long start_;
  long length_;
  long expected_;
  long progress_limit_;
  long received_ = 0;
  int attempts_ = 0;
  unsigned long status_ = 0;
  std::vector<char> piece_;
  unique_hinternet session_;
  unique_hinternet connection_;  // declared after the session: closed first
};

DWORD WINAPI BlockThreadMain(void* parameter) {
  std::unique_ptr<BlockTask> task(static_cast<BlockTask*>(parameter));
  const long id = task->range.transfer_id;
  try {
    FileSink part(task->part_path);
    if (!part.is_open() || !TransferRange(task->range, part)) TransferRegistry::Instance().Stop(id);
  } catch (...) {
    TransferRegistry::Instance().Stop(id);
  }
  task.reset();
  // Last: once the count drops, DownloadFile may join and delete the part file.
  TransferRegistry::Instance().Add(kinds::kRunningBlocks, id, -1);
  return 0;
}

}  // namespace

bool TransferRange(const RangeRequest& request, ByteSink& sink) { return RangeTransfer(request, sink).Run(); }

FileDownloader::FileDownloader() : id_(TransferRegistry::Instance().NextTransferId()) {}

bool FileDownloader::DownloadFile(const std::wstring& url, const std::wstring& target_path, bool single_stream,
                                  WPARAM caller_value, HWND progress_window) {
  url_ = url;
  target_path_ = target_path;
  if (thread_count_ < 2 || single_stream) return DownloadSingleStream(single_stream, caller_value, progress_window);
  return DownloadBlocks(caller_value, progress_window);
}

long FileDownloader::QueryRemoteSize(const std::wstring& url) {
  long size = -1;
  return AskSize(url, size) == SizeAnswer::Known ? size : -1;
}

FileDownloader::SizeAnswer FileDownloader::AskSize(const std::wstring& url, long& size) {
  unique_hinternet session = OpenSession(NextSizeQueryAgent());
  if (!session) return SizeAnswer::Failed;
  unique_hinternet request(::InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0, kRequestFlags, 0));
  if (!request) return SizeAnswer::Failed;
  unsigned long status = ReplyStatus(request.get());
  if (status != kStatusOk && status != kStatusPartial) return SizeAnswer::Failed;
  std::optional<long long> named = ReplyContentLength(request.get());
  if (!named) return SizeAnswer::Unnamed;
  if (*named > LONG_MAX) return SizeAnswer::Failed;
  size = static_cast<long>(*named);
  return SizeAnswer::Known;
}

FileDownloader::SizeAnswer FileDownloader::FindSize() {
  SizeAnswer answer = SizeAnswer::Failed;
  for (int attempt = 0; attempt < ConnectTryCount() && answer == SizeAnswer::Failed; ++attempt) {
    answer = AskSize(url_, size_);
    if (answer != SizeAnswer::Failed) break;
    // A name the server did not find as written may exist in escaped form.
    std::wstring encoded = PercentEncodeUrl(url_);
    if (encoded == url_) continue;
    answer = AskSize(encoded, size_);
    if (answer != SizeAnswer::Failed) url_ = encoded;
  }
  return answer;
}

bool FileDownloader::DownloadSingleStream(bool give_up, WPARAM caller_value, HWND progress_window) {
  bool ok = false;
  {
    FileSink target(target_path_);
    RangeRequest range{url_, 0, 0, 0, id_, 0, give_up, caller_value, progress_window};
    ok = target.is_open() && TransferRange(range, target);
    if (ok) size_ = static_cast<long>(target.Length());
  }
  if (!ok) ::DeleteFileW(target_path_.c_str());
  return ok;
}

bool FileDownloader::DownloadBlocks(WPARAM caller_value, HWND progress_window) {
  size_ = 0;
  SizeAnswer answer = FindSize();
  if (answer == SizeAnswer::Unnamed) {
    // Blocks need a length; a server that names none still gets one stream.
    WriteLog(FormatWide(L"No length for %ls, downloading it in one stream", url_.c_str()));
    return DownloadSingleStream(false, caller_value, progress_window);
  }
  if (answer == SizeAnswer::Failed || size_ <= 0) {
    ::DeleteFileW(target_path_.c_str());
    return false;
  }

  BlockPlan plan = ComputeBlockPlan(size_, thread_count_);
  block_size_ = plan.block_size;
  block_count_ = plan.block_count;
  Send(progress_window, msg::kDownloadSize, caller_value, size_);
  Send(progress_window, msg::kDownloadBlockSize, caller_value, block_size_);

  bool complete = RunBlocks(caller_value, progress_window);
  long joined = complete ? JoinParts() : -1;
  DeleteParts();
  ::SetFileAttributesW(target_path_.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (joined == size_) {
    Send(progress_window, msg::kDownloadProgress, caller_value, size_);
    return true;
  }
  ::DeleteFileW(target_path_.c_str());
  return false;
}

bool FileDownloader::RunBlocks(WPARAM caller_value, HWND progress_window) {
  TransferRegistry& registry = TransferRegistry::Instance();
  long last_reported = -1;
  auto running_now = [&] {
    long running = registry.Get(kinds::kRunningBlocks, id_);
    if (running != last_reported) {
      Send(progress_window, msg::kDownloadThreads, caller_value, running);
      last_reported = running;
    }
    return running;
  };

  for (int index = 0; index < block_count_; ++index) {
    auto task = std::make_unique<BlockTask>();
    task->owner = this;
    task->part_path = PartPath(index);
    task->range = RangeRequest{url_,    index, static_cast<long>(static_cast<long long>(index) * block_size_),
                               BlockLength(BlockPlan{block_size_, block_count_}, size_, index),
                               id_,     size_, false,
                               caller_value, progress_window};
    // Counted before the thread exists, so the wait below cannot miss it.
    registry.Add(kinds::kRunningBlocks, id_, 1);
    unique_handle thread(::CreateThread(nullptr, 0, BlockThreadMain, task.get(), 0, nullptr));
    if (thread) {
      task.release();  // the thread frees it
    } else {
      registry.Add(kinds::kRunningBlocks, id_, -1);
      registry.Stop(id_);
    }
    if (registry.Stopped(id_)) break;
    ::Sleep(kBlockStartPauseMs);
    while (running_now() > thread_count_) ::Sleep(kBlockStartPauseMs);
  }

  bool stop_seen = false;
  for (;;) {
    if (registry.Stopped(id_)) stop_seen = true;
    if (running_now() <= 0) break;
    ::Sleep(kBlockEndPauseMs);
  }
  // Blocks raise the flag before they stop counting as running.
  return !(stop_seen || registry.Stopped(id_));
}

long FileDownloader::JoinParts() const {
  FileSink target(target_path_);
  if (!target.is_open()) return -1;
  std::vector<char> piece(kTransferPiece);
  for (int index = 0; index < block_count_; ++index) {
    unique_hfile part(::CreateFileW(PartPath(index).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!part) break;
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(part.get(), piece.data(), kTransferPiece, &got, nullptr) || got == 0) break;
      if (!target.Write(piece.data(), got)) return -1;
    }
  }
  target.Flush();
  return static_cast<long>(target.Length());
}

void FileDownloader::DeleteParts() const {
  for (int index = 0; index < block_count_; ++index) ::DeleteFileW(PartPath(index).c_str());
}

std::wstring FileDownloader::PartPath(int index) const {
  return FormatWide(kPartPathFormat, target_path_.c_str(), index);
}

int DownloadFile(const std::wstring& url, const std::wstring& target_path, int thread_count, WPARAM caller_value,
                 HWND progress_window) {
  FileDownloader downloader;
  downloader.set_thread_count(thread_count);
  bool ok = downloader.DownloadFile(url, target_path, false, caller_value, progress_window);
  ::SetFileAttributesW(target_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!ok) ::DeleteFileW(target_path.c_str());
  return ok ? 0 : 1;
}

}  // namespace tarvolin
