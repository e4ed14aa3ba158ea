#include "config/log.h"

#include <atomic>

#include "common/named_lock.h"
#include "common/path_rules.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

std::atomic<LogSink>& Sink() {
  static std::atomic<LogSink> sink{nullptr};
  return sink;
}

}  // namespace

ScopedLogSink::ScopedLogSink(LogSink sink) : previous_(Sink().exchange(sink)) {}
ScopedLogSink::~ScopedLogSink() { Sink() = previous_; }

std::wstring FormatLogLine(const SYSTEMTIME& t, const std::wstring& text) {
  return FormatWide(L"[%04u-%02u-%02u %02u:%02u:%02u]", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond) +
         text + L"\r\n";
}

namespace {

// Said once, in the log itself, when the log lock had to fall back.
std::wstring LockFallbackLine() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FormatLogLine(now, FormatWide(L"log lock unavailable (error %lu); lines of other updaters may interleave",
                                       NamedLockError(lock_ids::kLog)));
}

}  // namespace

bool AppendLogLine(const std::wstring& path, const std::wstring& line) {
  NamedLock hold(lock_ids::kLog);
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!file) return false;
  ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
  std::string bytes = WideToAnsi(hold.reach() == LockReach::kThisProcessNewly ? LockFallbackLine() + line : line);
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::wstring LogFileName(const std::wstring& configured) {
  if (configured.empty() || IsBareFileName(configured)) return configured;
  return kDefaultLogName;
}

std::wstring LogFilePath() {
  std::wstring name = LogFileName(ReadSetting(sections::kTarvolin, L"Log"));
  if (name.empty()) return name;
  return CollapseBackslashes(ConfigurationFolder() + L"\\" + name);
}

namespace {

// The refused name last reported, so each refusal is said once, not on every line.
std::wstring& ReportedRefusal() {
  static std::wstring name;
  return name;
}

// The refusal line, when the configured name is refused and not yet reported.
std::wstring RefusalLine(const SYSTEMTIME& now) {
  const std::wstring configured = ReadSetting(sections::kTarvolin, L"Log");
  if (LogFileName(configured) == configured) return L"";
  NamedLock hold(lock_ids::kLog);
  if (ReportedRefusal() == configured) return L"";
  ReportedRefusal() = configured;
  return FormatLogLine(now, L"log name \"" + configured + L"\" is not a bare file name; the log is " +
                                kDefaultLogName + L" in the configuration folder");
}

}  // namespace

void WriteLog(const std::wstring& text) {
  if (LogSink sink = Sink().load()) sink(text);
  std::wstring path = LogFilePath();
  if (path.empty()) return;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  AppendLogLine(path, RefusalLine(now) + FormatLogLine(now, text));
}

}  // namespace tarvolin
