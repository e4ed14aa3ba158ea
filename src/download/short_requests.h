// Short requests that other parts of the program make: a plain GET of a whole
// URL into a sink, and a POST whose parameters travel in the query.
#pragma once

#include <string>

#include "download/byte_sink.h"

namespace tarvolin {

// True when the whole body of a successful (2xx) reply went into the sink;
// a body cut short of its Content-Length is a failure.
bool FetchUrl(const std::wstring& url, ByteSink& sink);
// The same into memory.
bool FetchUrl(const std::wstring& url, std::string& body);

enum PostResult : int { kPostOk = 0, kPostFailed = 1, kPostTimedOut = 2 };

// The Internet layer's error for a request that timed out.
inline constexpr unsigned long kInternetTimeoutError = 12002;
// kPostTimedOut for a time-out, kPostFailed for any other error.
int PostResultForInternetError(unsigned long error);

// Sends an empty-bodied POST to an http: or https: URL with 5-second
// time-outs. `response` receives the reply body, read as UTF-8.
int PostUrl(const std::wstring& url, std::wstring& response);

}  // namespace tarvolin
