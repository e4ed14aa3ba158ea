// The decisions of the status broadcast, apart from windows and processes so
// that they can be tested with tables. No Windows headers here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarvolin {

// The configuration key of the status programs for a status: its name, except
// for statuses that are never announced as events (11, which no stage raises,
// and values without a name).
std::wstring StatusEventKey(int status);

// Programs configured for a status change: `start` is started and left
// running, then `start_and_wait` is started and awaited. Empty means none.
struct StatusPrograms {
  std::wstring start;
  std::wstring start_and_wait;
};
using SettingReader = std::function<std::wstring(const std::wstring& section, const std::wstring& key)>;
StatusPrograms StatusProgramsFor(int status, const SettingReader& read_setting);

// A status text as a status window receives it: without "{zip}{process}".
std::wstring CleanStatusText(const std::wstring& text);
// A log line as a status window receives it: without the configuration folder,
// so that a host does not show the user's folder names.
std::wstring CleanLogLine(const std::wstring& line, const std::wstring& configuration_folder);
// The fixed-size block written into a status window's buffer: the text cut to
// the buffer's capacity, zero-filled to the end.
std::vector<wchar_t> TextBufferBlock(const std::wstring& text);

// What the updater observes of the host window at one pause point.
struct HostObservation {
  bool window_exists = false;
  bool exit_when_killed = false;  // "tarvolin.exitwhenwndkilled" is on
  bool paused = false;            // "tarvolin.paused" is on
};
enum class HostStep { kGoOn, kWait, kEndRun };
// One test of the host controls. `exit_armed` remembers, across tests, whether
// the host last asked to end the run with its window: once the window has gone
// its properties cannot be read any more.
HostStep NextHostStep(const HostObservation& seen, bool& exit_armed);

}  // namespace tarvolin
