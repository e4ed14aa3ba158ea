// The window-message protocol between the updater and the windows that follow
// it. Other programs hard-code these numbers and names, so they never change.
#pragma once

#include <cstddef>

namespace tarvolin::status_protocol {

// Plain message numbers (not registered ones).
inline constexpr unsigned kStatusChangedMessage = 1974;       // wParam status, lParam due records
inline constexpr unsigned kStatusLogMessage = 1975;           // wParam address of the line
inline constexpr unsigned kStatusFileProgressMessage = 1976;  // wParam files done, lParam file count
inline constexpr unsigned kStatusDescriptionMessage = 1977;   // lParam address of the description
inline constexpr unsigned kStatusProgressMessage = 1978;      // wParam file size, lParam bytes received
// WM_USER + 10: wParam the text, lParam progress. The text's address in the
// receiver's process for a window of another process; for a window of the
// updater's own process, the key of a parked text (common/window_texts.h).
inline constexpr unsigned kStatusTextMessage = 0x0400 + 10;

// The value that every control property must hold to count as set.
inline constexpr long kPropertyOn = 1974;

// Set by registration; messages that depend on it go only where it equals kPropertyOn.
inline constexpr wchar_t kNeedMessagesProperty[] = L"tarvolin.needmsg";
// Set by every status change on every status window.
inline constexpr wchar_t kStatusProperty[] = L"tarvolin.exe";
inline constexpr wchar_t kFileCountProperty[] = L"updatefilecount";
// Set by a host program on its own window.
inline constexpr wchar_t kPausedProperty[] = L"tarvolin.paused";
inline constexpr wchar_t kExitWhenWindowKilledProperty[] = L"tarvolin.exitwhenwndkilled";

// Each status window gets one text buffer of this size in its own process.
inline constexpr std::size_t kTextBufferBytes = 2048;
// Texts are cut so that the block always ends with a terminating zero.
inline constexpr std::size_t kMaxTextChars = 1023;

// Progress value of a status text that carries none.
inline constexpr long kNoProgress = -1;

}  // namespace tarvolin::status_protocol
