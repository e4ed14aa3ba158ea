// Downloading one URL into one file, as a single stream or as blocks that
// separate threads fetch in parallel with HTTP Range requests into part files
// ("<target>.part<i>") that are joined at the end.
//
// Threads: DownloadFile runs on the caller's (worker) thread and does not
// return before every block thread it started has ended. Progress goes to the
// caller's window with SendMessageW, so that window's thread must keep pumping
// messages and must not be the one that calls DownloadFile.
#pragma once

#include <windows.h>

#include <string>

#include "download/byte_sink.h"

namespace tarvolin {

inline constexpr int kDefaultBlockThreads = 8;

// One ranged transfer into a sink.
struct RangeRequest {
  std::wstring url;
  int block_index = 0;
  long start = 0;   // negative counts as 0
  long length = 0;  // 0 or less: taken from the response (single stream)
  long transfer_id = 0;
  long file_size = 0;  // upper limit of the progress counters
  // Give up at the first failed connection or empty read instead of retrying.
  bool give_up = false;
  WPARAM caller_value = 0;
  HWND progress_window = nullptr;
};

// Reads the range into the sink, reconnecting from where it stopped, and
// reports progress. True when the sink holds exactly the expected bytes.
// On failure it raises the transfer's stop flag and takes its bytes back out
// of the progress counters.
bool TransferRange(const RangeRequest& request, ByteSink& sink);

class FileDownloader;

// Handed to one block thread, which owns and frees it.
struct BlockTask {
  FileDownloader* owner = nullptr;
  std::wstring part_path;
  RangeRequest range;  // give_up is always false for blocks
};

// One per file download; not reused after a failure (its stop flag stays set).
class FileDownloader {
 public:
  FileDownloader();
  FileDownloader(const FileDownloader&) = delete;
  FileDownloader& operator=(const FileDownloader&) = delete;

  // True when `target_path` holds the complete file afterwards; on failure
  // the target and every part file are gone. `single_stream` forces one
  // connection that gives up at its first failure.
  bool DownloadFile(const std::wstring& url, const std::wstring& target_path, bool single_stream,
                    WPARAM caller_value, HWND progress_window);

  // Content-Length of the URL, or -1 (no answer, 404, a status other than
  // 200/206, or no length named).
  long QueryRemoteSize(const std::wstring& url);

  long id() const { return id_; }
  long size() const { return size_; }
  int block_count() const { return block_count_; }
  int thread_count() const { return thread_count_; }
  // Below 1 counts as 1.
  void set_thread_count(int count) { thread_count_ = count < 1 ? 1 : count; }
  const std::wstring& url() const { return url_; }
  const std::wstring& target_path() const { return target_path_; }

 private:
  enum class SizeAnswer { Failed, Known, Unnamed };
  SizeAnswer AskSize(const std::wstring& url, long& size);
  // Size query with the escaped-URL retry; may replace url_.
  SizeAnswer FindSize();
  bool DownloadSingleStream(bool give_up, WPARAM caller_value, HWND progress_window);
  bool DownloadBlocks(WPARAM caller_value, HWND progress_window);
  // Starts the block threads; false when the stop flag was seen.
  bool RunBlocks(WPARAM caller_value, HWND progress_window);
  long JoinParts() const;
  void DeleteParts() const;
  std::wstring PartPath(int index) const;

  long id_ = 0;
  long size_ = 0;
  int block_count_ = 0;
  long block_size_ = 0;
  int thread_count_ = kDefaultBlockThreads;
  std::wstring url_;
  std::wstring target_path_;
};

// The scheduler's entry: a FileDownloader with `thread_count` block threads
// (below 1 counts as 1), then the target's attributes set to normal and the
// target deleted when the download failed. 0 on success, 1 on failure.
int DownloadFile(const std::wstring& url, const std::wstring& target_path, int thread_count, WPARAM caller_value,
                 HWND progress_window);

}  // namespace tarvolin
