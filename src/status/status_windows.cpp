#include "status/status_windows.h"

namespace tarvolin {

// Registration of status windows arrives with the status protocol; until a
// window is registered there is nobody to copy the line to.
void SendLogLineToStatusWindows(const std::wstring&) {}

}  // namespace tarvolin
