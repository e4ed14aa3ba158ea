// What a transfer reads from a reply's head.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <optional>

#include "download/transfer_rules.h"

namespace tarvolin {

// The HTTP status; 0 when the reply carries none.
unsigned long ReplyStatus(HINTERNET request);
// The Content-Length header; nothing when the reply names no length.
std::optional<long long> ReplyContentLength(HINTERNET request);
// True when the reply says "Accept-Ranges: bytes".
bool ReplyAcceptsRanges(HINTERNET request);
// The Content-Range header of a partial reply; nothing when absent or malformed.
std::optional<ContentRange> ReplyContentRange(HINTERNET request);

}  // namespace tarvolin
