// One Internet session and one connection handle for the host of a URL, from
// which every request of a download is opened. Requests whose bodies are read
// to their end hand their sockets back to the platform's pool, so the next
// request of the download goes out on a connection that is already open.
//
// Threads: Send may be called from several threads at once; each request
// handle belongs to the thread that asked for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/unique_handle.h"

namespace tarvolin {

class HttpConnection {
 public:
  // Nothing when the URL is not http(s) or the session cannot be opened (a
  // malformed proxy setting among others; it is reported there).
  static std::optional<HttpConnection> Open(const std::wstring& url, const std::wstring& session_agent);

  HttpConnection(HttpConnection&&) = default;
  HttpConnection& operator=(HttpConnection&&) = default;

  // A request for the URL's object, sent with its own User-Agent and, when
  // `range_header` is not empty, that header. Null when it could not be sent;
  // its reply head is then unknown and the caller may try again.
  unique_hinternet Send(const wchar_t* verb, const std::wstring& agent, const std::wstring& range_header) const;

 private:
  HttpConnection() = default;

  unique_hinternet session_;
  unique_hinternet connection_;  // declared after the session: closed first
  std::wstring object_;          // path and query
  bool secure_ = false;
};

// Reads a request's body to its end into nothing: used only for the short
// bodies of replies that are not used (an error page, a one-byte probe), so
// the socket can go back to the pool. False when the body did not end well.
bool DrainBody(HINTERNET request);

}  // namespace tarvolin
