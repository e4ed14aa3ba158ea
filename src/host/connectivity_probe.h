// Whether the publisher can be reached, asked on a short-lived thread so that
// a dead network costs the window at most the given wait.
#pragma once

#include <string>

namespace tarvolin {

inline constexpr unsigned kConnectivityWaitMs = 500;

// True when a connection to the URL's server succeeded within `wait_ms`. A
// check still running after the wait is left to finish on its own; its result
// is then ignored.
bool ProbeConnection(const std::wstring& url, unsigned wait_ms = kConnectivityWaitMs);

}  // namespace tarvolin
