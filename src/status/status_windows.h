// Windows, in this or another process, that follow the update through the
// messages of status_protocol.h.
//
// Registrations are made on the registering window's thread before the update
// worker starts; sends come from any thread and are synchronous, so a receiver
// that does not return holds up the sender.
#pragma once

#include <windows.h>

#include <string>

// The host controls belong to the same protocol; callers of one use the other.
#include "status/host_control.h"

namespace tarvolin {

// Marks the window as wanting status messages and adds it to the status
// windows. A window of another process gets a text buffer in that process;
// when its process cannot be opened it still gets the messages that carry
// numbers only. Registering the same window again changes nothing.
void RegisterStatusWindow(HWND window);
bool IsStatusWindow(HWND window);

// Status change: WM 1974 to every status window that still wants messages,
// then the status and count properties on every status window.
void AnnounceStatusToWindows(int status, int records_to_update);

// Sends one status text (WM_USER + 10) to one window, status window or not.
// `progress` is status_protocol::kNoProgress when the text carries none.
void SendStatusText(HWND window, const std::wstring& text, long progress);

// Copies a text into every receiving window's process and sends `message`:
// status_protocol::kStatusLogMessage (every status window; the configuration
// folder is cut out of the line) or kStatusDescriptionMessage (windows that want
// messages; nothing when the text is empty). Other messages are not texts and
// are ignored.
void SendToStatusWindows(unsigned message, const std::wstring& text);
// Copies one log line to every registered status window.
void SendLogLineToStatusWindows(const std::wstring& line);

// Download progress: files done of the file count (windows that want messages).
void SendFileProgressToStatusWindows(long files_done, long file_count);
// Transfer progress of one file (every status window).
void SendTransferProgressToStatusWindows(long file_size, long bytes_received);

// Forgets every status window and frees its text buffer in the window's
// process. Called once at exit; a thread that is still sending (a helper given
// up after a time-out) keeps the windows it is sending to until it is done.
void ReleaseStatusWindows();

}  // namespace tarvolin
