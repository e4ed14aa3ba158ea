// Windows, in this or another process, that follow the update through messages.
#pragma once

#include <string>

namespace tarvolin {

// Copies one log line to every registered status window.
void SendLogLineToStatusWindows(const std::wstring& line);

}  // namespace tarvolin
