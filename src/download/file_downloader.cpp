#include "download/file_downloader.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "download/block_lanes.h"
#include "download/byte_sink.h"
#include "download/http_connection.h"
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

constexpr wchar_t kPartPathFormat[] = L"%ls.part%d";
constexpr wchar_t kGet[] = L"GET";
constexpr wchar_t kHead[] = L"HEAD";
constexpr DWORD kRetryPauseMs = 10;
constexpr DWORD kWatchPauseMs = 50;
constexpr unsigned long kStatusOk = 200;
constexpr unsigned long kStatusPartial = 206;
constexpr std::int64_t kUnknownLength = -1;

void Send(HWND window, unsigned message, WPARAM wparam, LPARAM lparam) {
  if (window) ::SendMessageW(window, message, wparam, lparam);
}

// Progress of one download: the registry's counters and the messages that
// carry them, all scaled alike when the file is too large for a message.
class ProgressReporter {
 public:
  ProgressReporter(long id, WPARAM caller_value, HWND window)
      : id_(id), caller_value_(caller_value), window_(window) {}

  // The limit of the counters and the scale of every message from now on.
  void SetSize(std::int64_t size) {
    limit_ = size < 0 ? std::numeric_limits<std::int64_t>::max() : size;
    shift_ = MessageShift(limit_);
  }

  void AnnounceSize(std::int64_t size, std::int64_t block_size) {
    Send(window_, msg::kDownloadSize, caller_value_, Scaled(size));
    Send(window_, msg::kDownloadBlockSize, caller_value_, Scaled(block_size));
  }
  void AnnounceThreads(std::int64_t running) { Send(window_, msg::kDownloadThreads, caller_value_, running); }
  void AnnounceComplete(std::int64_t size) { Send(window_, msg::kDownloadProgress, caller_value_, Scaled(size)); }

  // `bytes` more (or, negative, fewer) for the file and for plan block `block`.
  void Add(int block, std::int64_t bytes) {
    TransferRegistry& registry = TransferRegistry::Instance();
    std::int64_t total = registry.AddClamped(kinds::kBytesReceived, id_, bytes, limit_);
    Send(window_, msg::kDownloadProgress, caller_value_, Scaled(total));
    SendTransferProgressToStatusWindows(Scaled(limit_), Scaled(total));
    std::int64_t block_total =
        registry.AddClamped(kinds::kBlockBytes | static_cast<std::uint32_t>(block), id_, bytes, limit_);
    Send(window_, msg::kDownloadBlockProgress, msg::BlockProgressParam(block, caller_value_), Scaled(block_total));
  }

 private:
  long Scaled(std::int64_t value) const { return ScaledForMessage(value, shift_); }

  long id_;
  WPARAM caller_value_;
  HWND window_;
  std::int64_t limit_ = std::numeric_limits<std::int64_t>::max();
  int shift_ = 0;
};

// How one reply body was read.
struct BodyRead {
  std::int64_t got = 0;       // bytes stored
  bool ended = false;         // the body ended where the reply said it would
  bool overflow = false;      // more arrived than was asked for
  bool write_failed = false;
  bool stopped = false;
};

// Reads the body to its end (so the socket can be reused), storing at most
// `want` bytes (`kUnknownLength`: all of it) and reporting them under `block`.
template <typename StopTest>
BodyRead ReadBody(HINTERNET request, ByteSink& sink, std::int64_t want, ProgressReporter& progress, int block,
                  std::vector<char>& piece, StopTest stopped) {
  BodyRead read;
  for (;;) {
    if (stopped()) {
      read.stopped = true;
      return read;
    }
    DWORD got = 0;
    if (!::InternetReadFile(request, piece.data(), static_cast<DWORD>(piece.size()), &got)) return read;
    if (got == 0) {
      read.ended = true;
      return read;
    }
    std::int64_t keep = got;
    if (want != kUnknownLength) keep = std::min<std::int64_t>(got, want - read.got);
    if (keep > 0) {
      if (!sink.Write(piece.data(), static_cast<std::size_t>(keep))) {
        read.write_failed = true;
        return read;
      }
      read.got += keep;
      progress.Add(block, keep);
    }
    if (keep < static_cast<std::int64_t>(got)) {
      read.overflow = true;
      return read;
    }
  }
}

std::wstring PartPath(const std::wstring& target, int index) { return FormatWide(kPartPathFormat, target.c_str(), index); }

// Where the first reply of a block download leaves the workers waiting: a
// server that ignores ranges answers the very first block request with the
// whole file, and that reply then becomes the download instead of every
// block reading it again.
enum class GateState { Closed, RangesWork, Shut };

}  // namespace

// One DownloadFile call: the connection, the size, the blocks and their
// workers, or the single stream.
class FileDownloader::Transfer {
 public:
  Transfer(FileDownloader& owner, bool single_stream, WPARAM caller_value, HWND window)
      : owner_(owner),
        single_stream_(single_stream),
        progress_(owner.id_, caller_value, window),
        registry_(TransferRegistry::Instance()) {}

  bool Run() {
    if (!Connect()) return Fail();
    // A failed download leaves no target behind.
    if (owner_.thread_count_ < 2 || single_stream_) return Stream(unique_hinternet(), single_stream_) || Fail();
    return Blocks() || Fail();
  }

  std::int64_t QuerySize() {
    if (!Connect()) return -1;
    SizeAnswer answer = AskSize();
    return answer.kind == SizeKind::Known ? answer.size : -1;
  }

 private:
  enum class SizeKind { Known, Unnamed, Failed, Refused };
  struct SizeAnswer {
    SizeKind kind = SizeKind::Failed;
    std::int64_t size = kUnknownLength;
    // A server that answered the one-byte probe with the whole body: this
    // reply is the download.
    unique_hinternet whole_body;
    // The server said it serves byte ranges: all blocks may start at once.
    bool ranges_announced = false;
    // The reply to the first block's request, whose body (bytes 0 to
    // `first_last`) is still to be read: it becomes the start of block 0.
    unique_hinternet first_part;
    std::int64_t first_last = -1;
  };
  static SizeAnswer Answer(SizeKind kind, std::int64_t size = kUnknownLength) {
    SizeAnswer answer;
    answer.kind = kind;
    answer.size = size;
    return answer;
  }
  enum class LaneOutcome { Done, Failed, Abandoned };
  // The first request of a block download, sent before the plan existed.
  struct PendingSpan {
    int lane = 0;
    ByteSpan span;
    unique_hinternet reply;
  };

  bool Connect() {
    connection_ = HttpConnection::Open(owner_.url_, L"down");
    return connection_.has_value();
  }

  bool Stopped() const { return abandon_.load() || registry_.Stopped(owner_.id_); }

  bool Fail() {
    ::DeleteFileW(owner_.target_path_.c_str());
    return false;
  }

  // --- size -------------------------------------------------------------

  SizeAnswer AskSize() {
    SizeAnswer answer;
    unique_hinternet head = connection_->Send(kHead, NextSizeQueryAgent(), L"");
    if (!head) return answer;
    unsigned long status = ReplyStatus(head.get());
    if (IsHeadRefused(status)) return ProbeSize();
    if (IsFinalRefusal(status)) return Answer(SizeKind::Refused);
    if (status != kStatusOk && status != kStatusPartial) return answer;
    if (std::optional<long long> length = ReplyContentLength(head.get())) {
      SizeAnswer known = Answer(SizeKind::Known, *length);
      known.ranges_announced = ReplyAcceptsRanges(head.get());
      return known;
    }
    return ProbeSize();
  }

  // One byte asked for: its Content-Range names the whole length.
  SizeAnswer ProbeSize() {
    SizeAnswer answer;
    unique_hinternet probe = connection_->Send(kGet, NextSizeQueryAgent(), ClosedRangeHeader(0, 0));
    if (!probe) return answer;
    unsigned long status = ReplyStatus(probe.get());
    if (status == kStatusOk) {
      std::optional<long long> length = ReplyContentLength(probe.get());
      answer.kind = length ? SizeKind::Known : SizeKind::Unnamed;
      answer.size = length.value_or(kUnknownLength);
      answer.whole_body = std::move(probe);
      return answer;
    }
    if (IsFinalRefusal(status)) return Answer(SizeKind::Refused);
    if (status != kStatusPartial) return answer;
    std::optional<ContentRange> range = ReplyContentRange(probe.get());
    if (!DrainBody(probe.get()) || !range) return answer;
    if (range->total < 0) return Answer(SizeKind::Unnamed);
    SizeAnswer known = Answer(SizeKind::Known, range->total);
    known.ranges_announced = true;  // it has just served one
    return known;
  }

  // The first bytes of block 0, which every plan has, asked for before the
  // size is known: the reply's Content-Range names the size and its body is
  // the start of the download, so a file of one small block takes this one
  // request.
  SizeAnswer AskFirstBlock() {
    SizeAnswer answer;
    unique_hinternet reply = connection_->Send(kGet, NextTransferAgent(), ClosedRangeHeader(0, kMinimumBlockSize - 1));
    if (!reply) return answer;
    unsigned long status = ReplyStatus(reply.get());
    if (status == kStatusOk) {
      // Ranges ignored: this reply is the whole download.
      std::optional<long long> length = ReplyContentLength(reply.get());
      answer.kind = length ? SizeKind::Known : SizeKind::Unnamed;
      answer.size = length.value_or(kUnknownLength);
      answer.whole_body = std::move(reply);
      return answer;
    }
    if (IsFinalRefusal(status)) return Answer(SizeKind::Refused);
    if (status != kStatusPartial) return answer;
    std::optional<ContentRange> range = ReplyContentRange(reply.get());
    const bool usable = range && range->first == 0 && range->last >= 0 && range->last < kMinimumBlockSize &&
                        (range->total < 0 || range->last < range->total);
    if (!usable || range->total < 0) {
      // Read away, so the connection serves the next request.
      if (!DrainBody(reply.get()) || !usable) return answer;
      return Answer(SizeKind::Unnamed);
    }
    answer = Answer(SizeKind::Known, range->total);
    answer.ranges_announced = true;  // it is serving one
    answer.first_part = std::move(reply);
    answer.first_last = range->last;
    return answer;
  }

  // The size with the escaped-URL retry, which may replace the URL; a refusal
  // of both forms is final.
  SizeAnswer FindSize() {
    SizeAnswer answer;
    for (int attempt = 0; attempt < ConnectTryCount(); ++attempt) {
      answer = AskFirstBlock();
      if (answer.kind == SizeKind::Known || answer.kind == SizeKind::Unnamed) return answer;
      // A name the server did not find as written may exist in escaped form.
      std::wstring encoded = PercentEncodeUrl(owner_.url_);
      if (encoded != owner_.url_) {
        std::wstring written = owner_.url_;
        owner_.url_ = encoded;
        if (Connect()) {
          SizeAnswer escaped = AskFirstBlock();
          if (escaped.kind == SizeKind::Known || escaped.kind == SizeKind::Unnamed) return escaped;
          if (escaped.kind != SizeKind::Refused) answer.kind = SizeKind::Failed;
        }
        owner_.url_ = written;
        if (!Connect()) return Answer(SizeKind::Failed);
      }
      if (answer.kind == SizeKind::Refused) return answer;
    }
    return answer;
  }

  // --- one stream -------------------------------------------------------

  // The whole body in one connection, resumed from the exact byte after a cut
  // when its length is known. `first_reply`, when given, is a reply to a
  // plain GET whose head has not been looked at yet.
  bool Stream(unique_hinternet first_reply, bool give_up) {
    FileSink target(owner_.target_path_);
    if (!target.is_open()) return false;
    std::vector<char> piece(static_cast<std::size_t>(kTransferPiece));
    unique_hinternet request = std::move(first_reply);
    std::int64_t length = kUnknownLength;
    std::int64_t position = 0;
    bool announced = false;
    int attempts = 0;
    auto take_back = [&] {
      progress_.Add(0, -position);
      position = 0;
    };
    for (;;) {
      if (Stopped()) break;
      if (!request) {
        if (++attempts >= ConnectTryCount()) break;
        std::wstring range = position > 0 ? ClosedRangeHeader(position, length - 1) : std::wstring();
        request = connection_->Send(kGet, NextTransferAgent(), range);
        if (!request) {
          if (give_up) break;
          ::Sleep(kRetryPauseMs);
          continue;
        }
      }
      unsigned long status = ReplyStatus(request.get());
      if (position > 0 && status == kStatusOk) {
        // The resume was answered from the start: begin again.
        take_back();
        if (!target.Rewind()) break;
      } else if (position > 0) {
        std::optional<ContentRange> range = ReplyContentRange(request.get());
        if (status != kStatusPartial || !range || range->first != position || range->last != length - 1) {
          if (IsFinalRefusal(status) || give_up) break;
          request.reset();
          ::Sleep(kRetryPauseMs);
          continue;
        }
      }
      if (position == 0) {
        if (status != kStatusOk && status != kStatusPartial) break;
        std::optional<long long> named = ReplyContentLength(request.get());
        length = named.value_or(kUnknownLength);
        if (!announced) {
          announced = true;
          progress_.SetSize(length);
          if (length != kUnknownLength) progress_.AnnounceSize(length, length);
          progress_.AnnounceThreads(1);
        }
        if (length == 0) {
          DrainBody(request.get());
          owner_.size_ = 0;
          return true;
        }
      }
      const std::int64_t want = length == kUnknownLength ? kUnknownLength : length - position;
      BodyRead read = ReadBody(request.get(), target, want, progress_, 0, piece, [this] { return Stopped(); });
      position += read.got;
      if (read.got > 0) attempts = 0;
      if (read.write_failed || read.stopped || read.overflow) break;
      if (length == kUnknownLength) {
        // Without a length only the server's end of the body ends the file,
        // and nothing can be resumed.
        if (!read.ended) break;
        owner_.size_ = position;
        progress_.SetSize(position);
        progress_.AnnounceSize(position, position);
        return true;
      }
      if (read.ended && position == length) {
        owner_.size_ = length;
        return true;
      }
      // Cut short: ask for the rest.
      request.reset();
      if (give_up) break;
      ::Sleep(kRetryPauseMs);
    }
    take_back();
    registry_.Stop(owner_.id_);
    return false;
  }

  // --- blocks -----------------------------------------------------------

  bool Blocks() {
    owner_.size_ = 0;
    SizeAnswer answer = FindSize();
    if (answer.whole_body) {
      WriteLog(FormatWide(L"%ls ignores ranges, downloading it in one stream", owner_.url_.c_str()));
      return Stream(std::move(answer.whole_body), false);
    }
    if (answer.kind == SizeKind::Unnamed) {
      // Blocks need a length; a server that names none still gets one stream.
      WriteLog(FormatWide(L"No length for %ls, downloading it in one stream", owner_.url_.c_str()));
      return Stream(unique_hinternet(), false);
    }
    if (answer.kind != SizeKind::Known || answer.size <= 0) return false;
    owner_.size_ = answer.size;

    plan_ = ComputeBlockPlan(owner_.size_, owner_.thread_count_);
    owner_.block_count_ = plan_.block_count;
    progress_.SetSize(owner_.size_);
    progress_.AnnounceSize(owner_.size_, plan_.block_size);
    lanes_.emplace(plan_, owner_.size_);
    block_finished_.assign(static_cast<std::size_t>(plan_.block_count), 0);

    DeleteParts();  // what an earlier run left must not mix with this one
    // The first reply's body is the start of block 0, read by the first worker.
    if (answer.first_part) {
      first_.lane = *lanes_->StartNextBlock();
      first_.span = lanes_->ClaimThrough(first_.lane, answer.first_last);
      first_.reply = std::move(answer.first_part);
    }
    // Where the server said it serves ranges, no block needs to wait for the
    // first reply to find out.
    if (answer.ranges_announced) OpenGate(GateState::RangesWork);
    bool complete = RunWorkers();
    if (ranges_ignored_) {
      target_.reset();
      DeleteParts();
      WriteLog(FormatWide(L"%ls ignores ranges, downloading it in one stream", owner_.url_.c_str()));
      abandon_ = false;
      return Stream(std::move(whole_body_), false);
    }
    if (complete) JoinFinishedBlocks();
    const bool joined_all = complete && !join_failed_ && joined_blocks_ == plan_.block_count && target_;
    const std::int64_t joined = joined_all ? target_->Length() : -1;
    target_.reset();
    DeleteParts();
    ::SetFileAttributesW(owner_.target_path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (joined != owner_.size_) return false;
    progress_.AnnounceComplete(owner_.size_);
    return true;
  }

  // As many connections as the plan runs at once (threads + 1), fewer when
  // the file cannot keep them busy. Unless the server said it serves ranges,
  // the first worker alone asks first, so a server that ignores ranges is
  // found with one request.
  bool RunWorkers() {
    const std::int64_t busy_enough =
        std::max<std::int64_t>(plan_.block_count, owner_.size_ / kSmallestTakeover);
    const int workers = static_cast<int>(std::min<std::int64_t>(owner_.thread_count_ + 1, busy_enough));
    TaskGroup group(TransferThreads());
    for (int index = 0; index < workers; ++index) {
      // Counted before the worker runs, so the watch below cannot miss it.
      registry_.Add(kinds::kRunningBlocks, owner_.id_, 1);
      try {
        group.Run([this, index] { Worker(index); });
      } catch (...) {
        registry_.Add(kinds::kRunningBlocks, owner_.id_, -1);
        registry_.Stop(owner_.id_);
        OpenGate(GateState::Shut);
        break;
      }
    }
    Watch();
    group.Wait();
    return !registry_.Stopped(owner_.id_) && !ranges_ignored_;
  }

  // Tells the window how many connections run until none does, and joins
  // the blocks that are complete meanwhile, so that little is left to join
  // once the last byte is in.
  void Watch() {
    std::int64_t last_reported = -1;
    for (;;) {
      std::int64_t running = registry_.Get(kinds::kRunningBlocks, owner_.id_);
      if (running != last_reported) {
        progress_.AnnounceThreads(running);
        last_reported = running;
      }
      if (running <= 0) return;
      if (!Stopped()) JoinFinishedBlocks();
      WaitForNews();
    }
  }

  // Until a worker ends or a lane completes its block, or a pause at most.
  void WaitForNews() {
    std::unique_lock<std::mutex> hold(news_guard_);
    news_arrived_.wait_for(hold, std::chrono::milliseconds(kWatchPauseMs), [this] { return news_; });
    news_ = false;
  }

  // Safe after the worker's count dropped: RunWorkers waits for every worker
  // to return before the transfer goes.
  void TellWatch() {
    {
      std::lock_guard<std::mutex> hold(news_guard_);
      news_ = true;
    }
    news_arrived_.notify_all();
  }

  void Worker(int index) {
    try {
      if (index > 0 && !WaitForGate()) {
        registry_.Add(kinds::kRunningBlocks, owner_.id_, -1);
        TellWatch();
        return;
      }
      std::vector<char> piece(static_cast<std::size_t>(kTransferPiece));
      // The first worker reads the reply that named the size, then goes on
      // as every worker does.
      bool go_on = true;
      if (index == 0 && first_.reply) {
        LaneOutcome outcome = RunLane(first_.lane, piece, &first_);
        if (outcome == LaneOutcome::Failed) registry_.Stop(owner_.id_);
        go_on = outcome == LaneOutcome::Done;
      }
      while (go_on) {
        std::optional<int> lane = NextLane();
        if (!lane) break;
        LaneOutcome outcome = RunLane(*lane, piece);
        if (outcome == LaneOutcome::Failed) registry_.Stop(owner_.id_);
        if (outcome != LaneOutcome::Done) break;
      }
    } catch (...) {
      registry_.Stop(owner_.id_);
    }
    // A worker that ends before the gate opened must not leave the others waiting.
    OpenGate(Stopped() ? GateState::Shut : GateState::RangesWork);
    // Once the count drops, the download may join and delete the part files.
    registry_.Add(kinds::kRunningBlocks, owner_.id_, -1);
    TellWatch();
  }

  std::optional<int> NextLane() {
    std::lock_guard<std::mutex> hold(lanes_guard_);
    if (Stopped()) return std::nullopt;
    if (std::optional<int> lane = lanes_->StartNextBlock()) return lane;
    return lanes_->TakeOver();
  }

  std::optional<ByteSpan> ClaimRequest(int lane) {
    std::lock_guard<std::mutex> hold(lanes_guard_);
    return lanes_->ClaimRequest(lane);
  }

  // `first`, when given, is the lane's first span with its reply under way.
  LaneOutcome RunLane(int lane_id, std::vector<char>& piece, PendingSpan* first = nullptr) {
    Lane lane;
    {
      std::lock_guard<std::mutex> hold(lanes_guard_);
      lane = lanes_->lane(lane_id);
    }
    const std::int64_t block_start = lanes_->BlockStartOf(lane.block);
    const std::int64_t lane_start = first ? first->span.first : lane.next;
    FileSink part(PartPath(owner_.target_path_, lane.block), lane_start - block_start);
    if (!part.is_open()) return LaneOutcome::Failed;
    std::int64_t received = 0;
    std::int64_t fetched = 0;
    LaneOutcome outcome = LaneOutcome::Done;
    if (first) {
      outcome = FetchSpan(first->span, lane.block, part, piece, received, std::move(first->reply));
      if (outcome == LaneOutcome::Done) fetched += first->span.length();
    }
    while (outcome == LaneOutcome::Done) {
      std::optional<ByteSpan> span = ClaimRequest(lane_id);
      if (!span) break;
      outcome = FetchSpan(*span, lane.block, part, piece, received);
      if (outcome != LaneOutcome::Done) break;
      fetched += span->length();
    }
    if (outcome == LaneOutcome::Done) {
      part.Close();  // before the block can count as complete and be joined
      std::lock_guard<std::mutex> hold(lanes_guard_);
      block_finished_[static_cast<std::size_t>(lane.block)] += fetched;
    }
    if (outcome == LaneOutcome::Done) TellWatch();
    // What this lane brought comes back out of the counters when the file fails.
    if (outcome != LaneOutcome::Done && received > 0) progress_.Add(lane.block, -received);
    return outcome;
  }

  // One claimed span, in as many requests as cuts make necessary. `sent`,
  // when given, is a request for the whole span already sent.
  LaneOutcome FetchSpan(const ByteSpan& span, int block, FileSink& part, std::vector<char>& piece,
                        std::int64_t& received, unique_hinternet sent = unique_hinternet()) {
    std::int64_t position = span.first;
    int attempts = 0;
    while (position <= span.last) {
      if (Stopped()) return LaneOutcome::Abandoned;
      if (++attempts >= ConnectTryCount()) return LaneOutcome::Failed;
      unique_hinternet request =
          sent ? std::move(sent) : connection_->Send(kGet, NextTransferAgent(), ClosedRangeHeader(position, span.last));
      if (!request) {
        ::Sleep(kRetryPauseMs);
        continue;
      }
      unsigned long status = ReplyStatus(request.get());
      if (status == kStatusOk) {
        NoteRangesIgnored(std::move(request), position == 0);
        return LaneOutcome::Abandoned;
      }
      if (IsFinalRefusal(status)) {
        WriteLog(FormatWide(L"%ls refused bytes %lld-%lld (status %lu)", owner_.url_.c_str(),
                            static_cast<long long>(position), static_cast<long long>(span.last), status));
        return LaneOutcome::Failed;
      }
      std::optional<ContentRange> range = ReplyContentRange(request.get());
      if (status != kStatusPartial || !range || range->first != position || range->last != span.last ||
          (range->total >= 0 && range->total != owner_.size_)) {
        // Not the bytes we asked for: nothing of it is kept.
        WriteLog(FormatWide(L"%ls answered bytes %lld-%lld with status %lu and another range", owner_.url_.c_str(),
                            static_cast<long long>(position), static_cast<long long>(span.last), status));
        ::Sleep(kRetryPauseMs);
        continue;
      }
      OpenGate(GateState::RangesWork);
      BodyRead read = ReadBody(request.get(), part, span.last - position + 1, progress_, block, piece,
                               [this] { return Stopped(); });
      position += read.got;
      received += read.got;
      if (read.got > 0) attempts = 0;
      if (read.write_failed || read.overflow) return LaneOutcome::Failed;
      if (read.stopped) return LaneOutcome::Abandoned;
      if (position <= span.last) ::Sleep(kRetryPauseMs);  // cut short: resume from `position`
    }
    return LaneOutcome::Done;
  }

  // A 200 to a ranged request: the whole file comes in one stream instead.
  // The very first request's reply is kept and read as that stream.
  void NoteRangesIgnored(unique_hinternet reply, bool from_the_start) {
    std::lock_guard<std::mutex> hold(lanes_guard_);
    if (!ranges_ignored_ && from_the_start) whole_body_ = std::move(reply);
    ranges_ignored_ = true;
    abandon_ = true;
    OpenGate(GateState::Shut);
  }

  void OpenGate(GateState state) {
    {
      std::lock_guard<std::mutex> hold(gate_guard_);
      if (gate_ != GateState::Closed) return;
      gate_ = state;
    }
    gate_changed_.notify_all();
  }

  bool WaitForGate() {
    std::unique_lock<std::mutex> hold(gate_guard_);
    gate_changed_.wait(hold, [this] { return gate_ != GateState::Closed; });
    return gate_ == GateState::RangesWork;
  }

  bool BlockComplete(int index) {
    std::lock_guard<std::mutex> hold(lanes_guard_);
    return block_finished_[static_cast<std::size_t>(index)] == BlockLength(plan_, owner_.size_, index);
  }

  // Appends, in block order, every block from the next one on whose lanes
  // have all ended well, and deletes its part file once it is in.
  void JoinFinishedBlocks() {
    while (!join_failed_ && joined_blocks_ < plan_.block_count && BlockComplete(joined_blocks_)) {
      if (!AppendPart(joined_blocks_)) {
        join_failed_ = true;
        return;
      }
      ::DeleteFileW(PartPath(owner_.target_path_, joined_blocks_).c_str());
      ++joined_blocks_;
    }
  }

  bool AppendPart(int index) {
    if (!target_) {
      target_.emplace(owner_.target_path_);
      if (!target_->is_open()) return false;
    }
    unique_hfile part(::CreateFileW(PartPath(owner_.target_path_, index).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!part) return false;
    std::int64_t left = BlockLength(plan_, owner_.size_, index);
    LARGE_INTEGER part_size{};
    if (!::GetFileSizeEx(part.get(), &part_size) || part_size.QuadPart != left) return false;
    // One buffer for every block of the download: a fresh megabyte per block
    // costs more in page faults than the copy itself.
    if (!join_buffer_) join_buffer_ = std::make_unique<char[]>(static_cast<std::size_t>(kRequestSpan));
    while (left > 0) {
      DWORD got = 0;
      DWORD want = static_cast<DWORD>(std::min<std::int64_t>(left, kRequestSpan));
      if (!::ReadFile(part.get(), join_buffer_.get(), want, &got, nullptr) || got == 0) return false;
      if (!target_->Write(join_buffer_.get(), got)) return false;
      left -= got;
    }
    return true;
  }

  void DeleteParts() const {
    for (int index = 0; index < plan_.block_count; ++index) {
      ::DeleteFileW(PartPath(owner_.target_path_, index).c_str());
    }
  }

  FileDownloader& owner_;
  const bool single_stream_;
  ProgressReporter progress_;
  TransferRegistry& registry_;
  std::optional<HttpConnection> connection_;
  BlockPlan plan_;

  std::mutex lanes_guard_;
  std::optional<LaneTable> lanes_;
  std::vector<std::int64_t> block_finished_;  // under lanes_guard_: bytes of lanes that ended well

  // The joining, on the thread that runs the download.
  std::optional<FileSink> target_;
  std::unique_ptr<char[]> join_buffer_;
  int joined_blocks_ = 0;
  bool join_failed_ = false;
  bool ranges_ignored_ = false;    // under lanes_guard_ while workers run
  unique_hinternet whole_body_;    // under lanes_guard_ while workers run
  std::atomic<bool> abandon_{false};

  PendingSpan first_;  // the first worker's alone once workers run

  std::mutex gate_guard_;
  std::condition_variable gate_changed_;

  // Wakes the watch when there is something to join or count.
  std::mutex news_guard_;
  std::condition_variable news_arrived_;
  bool news_ = false;
  GateState gate_ = GateState::Closed;
};

FileDownloader::FileDownloader() : id_(TransferRegistry::Instance().NextTransferId()) {}

bool FileDownloader::DownloadFile(const std::wstring& url, const std::wstring& target_path, bool single_stream,
                                  WPARAM caller_value, HWND progress_window) {
  url_ = url;
  target_path_ = target_path;
  return Transfer(*this, single_stream, caller_value, progress_window).Run();
}

std::int64_t FileDownloader::QueryRemoteSize(const std::wstring& url) {
  std::wstring kept = url_;
  url_ = url;
  std::int64_t size = Transfer(*this, false, 0, nullptr).QuerySize();
  url_ = kept;
  return size;
}

int DownloadFile(const std::wstring& url, const std::wstring& target_path, int thread_count, WPARAM caller_value,
                 HWND progress_window, const std::function<void(long)>& started) {
  FileDownloader downloader;
  downloader.set_thread_count(thread_count);
  if (started) started(downloader.id());
  bool ok = downloader.DownloadFile(url, target_path, false, caller_value, progress_window);
  ::SetFileAttributesW(target_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!ok) ::DeleteFileW(target_path.c_str());
  return ok ? 0 : 1;
}

}  // namespace tarvolin
