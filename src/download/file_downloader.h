// Downloading one URL into one file, as a single stream or as blocks fetched
// in parallel with closed HTTP Range requests into part files
// ("<target>.part<i>") that are joined at the end.
//
// On the wire: one Internet session and one connection handle per download;
// the size comes from a HEAD request (a one-byte ranged GET where HEAD is
// refused); every block asks for exactly its bytes, a run of closed requests
// on a kept-alive connection, and reads every body to its end, so sockets go
// back to the pool and no byte is fetched twice. A connection cut anywhere
// resumes from the exact byte. A server that ignores ranges gets one stream.
//
// Threads: DownloadFile runs on the caller's (worker) thread; its blocks run
// as tasks on the kept transfer threads, and it does not return before every
// one of them has ended. Progress goes to the
// caller's window with SendMessageW, so that window's thread must keep pumping
// messages and must not be the one that calls DownloadFile.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace tarvolin {

inline constexpr int kDefaultBlockThreads = 8;

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

  // The length of the URL's body, or -1 (no answer, refused, or no length named).
  std::int64_t QueryRemoteSize(const std::wstring& url);

  long id() const { return id_; }
  std::int64_t size() const { return size_; }
  int block_count() const { return block_count_; }
  int thread_count() const { return thread_count_; }
  // Below 1 counts as 1.
  void set_thread_count(int count) { thread_count_ = count < 1 ? 1 : count; }
  const std::wstring& url() const { return url_; }
  const std::wstring& target_path() const { return target_path_; }

 private:
  class Transfer;

  long id_ = 0;
  std::int64_t size_ = 0;
  int block_count_ = 0;
  int thread_count_ = kDefaultBlockThreads;
  std::wstring url_;
  std::wstring target_path_;
};

// The scheduler's entry: a FileDownloader with `thread_count` block threads
// (below 1 counts as 1), then the target's attributes set to normal and the
// target deleted when the download failed. 0 on success, 1 on failure.
// `started` (optional) learns the transfer's id before the first request, so
// that another thread can stop it through the transfer registry.
int DownloadFile(const std::wstring& url, const std::wstring& target_path, int thread_count, WPARAM caller_value,
                 HWND progress_window, const std::function<void(long)>& started = {});

}  // namespace tarvolin
