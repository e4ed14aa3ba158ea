#include "status/status_rules.h"

#include <algorithm>

#include "common/strings.h"
#include "config/settings.h"
#include "status/status_protocol.h"
#include "status/status_numbers.h"

namespace tarvolin {
namespace {
constexpr wchar_t kZipProcessMarker[] = L"{zip}{process}";
}  // namespace

std::wstring StatusEventKey(int status) {
  if (status == UpdateCopyError) return std::wstring();
  return StatusName(status);
}

StatusPrograms StatusProgramsFor(int status, const SettingReader& read_setting) {
  std::wstring key = StatusEventKey(status);
  if (key.empty()) return {};
  StatusPrograms programs;
  programs.start = read_setting(sections::kUpdateEvent, key);
  programs.start_and_wait = read_setting(sections::kUpdateEventWaitClose, key);
  return programs;
}

std::wstring CleanStatusText(const std::wstring& text) { return RemoveAll(text, kZipProcessMarker); }

std::wstring CleanLogLine(const std::wstring& line, const std::wstring& configuration_folder) {
  if (configuration_folder.empty()) return line;
  return RemoveAll(line, configuration_folder);
}

std::vector<wchar_t> TextBufferBlock(const std::wstring& text) {
  std::vector<wchar_t> block(status_protocol::kTextBufferBytes / sizeof(wchar_t), L'\0');
  std::size_t n = std::min(text.size(), status_protocol::kMaxTextChars);
  std::copy_n(text.begin(), n, block.begin());
  return block;
}

HostStep NextHostStep(const HostObservation& seen, bool& exit_armed) {
  if (!seen.window_exists) return exit_armed ? HostStep::kEndRun : HostStep::kGoOn;
  // The host may change its mind while its window lives; its last word counts.
  exit_armed = seen.exit_when_killed;
  return seen.paused ? HostStep::kWait : HostStep::kGoOn;
}

}  // namespace tarvolin
