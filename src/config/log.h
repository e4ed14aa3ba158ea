// The log: one time-stamped line per call, appended to the configured file and
// copied to every registered status window.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

// "[%Y-%m-%d %H:%M:%S]" immediately followed by the text and CR LF.
std::wstring FormatLogLine(const SYSTEMTIME& local_time, const std::wstring& text);
// Appends one line to a file under the log lock; false when it can be neither opened nor created.
bool AppendLogLine(const std::wstring& path, const std::wstring& line);
// Configuration folder + [Tarvolin] Log, or "" when no log is configured.
std::wstring LogFilePath();
void WriteLog(const std::wstring& text);

}  // namespace tarvolin
