// What a transfer reads from a reply's head.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <optional>

namespace tarvolin {

// The HTTP status; 0 when the reply carries none.
unsigned long ReplyStatus(HINTERNET request);
// The Content-Length header; nothing when the reply names no length.
std::optional<long long> ReplyContentLength(HINTERNET request);

}  // namespace tarvolin
