// The controls a host program sets on its own window to steer a run without a
// window of ours: pause it, or end it when the host's window goes away.
#pragma once

#include <windows.h>

namespace tarvolin {

// Returns at once when there is no host window or it does not ask for a pause;
// while it asks ("tarvolin.paused" is 1974) tests again every 100 ms. True
// when the run must end at once: the host had set "tarvolin.exitwhenwndkilled"
// to 1974 and its window no longer exists.
bool WaitWhileHostPaused(HWND host_window);

}  // namespace tarvolin
