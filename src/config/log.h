// The log: one time-stamped line per call, appended to the configured file and
// handed to the log sink (the status windows, which the application sets as the
// sink at start-up; the log itself knows nothing of them).
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

// "[%Y-%m-%d %H:%M:%S]" immediately followed by the text and CR LF.
std::wstring FormatLogLine(const SYSTEMTIME& local_time, const std::wstring& text);
// Appends one line to a file under the log lock; false when it can be neither opened nor created.
bool AppendLogLine(const std::wstring& path, const std::wstring& line);
// The log's name in the configuration folder when the configuration gives one
// ("" for none): the configured name when it is a bare file name, else
// kDefaultLogName, so the log never lands outside that folder.
inline constexpr wchar_t kDefaultLogName[] = L"inst.log";
std::wstring LogFileName(const std::wstring& configured);
// Configuration folder + the log's name, or "" when no log is configured.
std::wstring LogFilePath();
// Hands the text to the sink and appends it to the log file. The first line
// written after a refused log name is preceded by one line that says so.
void WriteLog(const std::wstring& text);

// Receives every logged text, on the thread that logs it, before the file is written.
using LogSink = void (*)(const std::wstring& text);

// Makes `sink` the log sink for the object's life; the sink before it comes back
// afterwards. Set before the threads that log start, and outlive them.
class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink sink);
  ~ScopedLogSink();
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;

 private:
  LogSink previous_;
};

}  // namespace tarvolin
