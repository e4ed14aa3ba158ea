#include "download/http_connection.h"

#include <wininet.h>

#include <vector>

#include "download/internet_session.h"
#include "download/transfer_rules.h"

namespace tarvolin {
namespace {

// Always from the server, never into the cache, on a kept-alive connection.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION;

struct UrlParts {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;
  bool secure = false;
};

std::optional<UrlParts> Crack(const std::wstring& url) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
  if (!parts.lpszHostName || parts.dwHostNameLength == 0) return std::nullopt;
  UrlParts result;
  result.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  result.port = parts.nPort;
  if (parts.lpszUrlPath) result.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) result.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (result.object.empty()) result.object = L"/";
  result.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return result;
}

}  // namespace

std::optional<HttpConnection> HttpConnection::Open(const std::wstring& url, const std::wstring& session_agent) {
  std::optional<UrlParts> parts = Crack(url);
  if (!parts) return std::nullopt;
  HttpConnection connection;
  connection.session_ = OpenSession(session_agent);
  if (!connection.session_) return std::nullopt;
  connection.connection_.reset(::InternetConnectW(connection.session_.get(), parts->host.c_str(), parts->port,
                                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.connection_) return std::nullopt;
  connection.object_ = parts->object;
  connection.secure_ = parts->secure;
  return connection;
}

unique_hinternet HttpConnection::Send(const wchar_t* verb, const std::wstring& agent,
                                      const std::wstring& range_header) const {
  DWORD flags = kRequestFlags | (secure_ ? INTERNET_FLAG_SECURE : 0);
  unique_hinternet request(
      ::HttpOpenRequestW(connection_.get(), verb, object_.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (!request) return request;
  std::wstring headers = L"User-Agent: " + agent + L"\r\n";
  if (!range_header.empty()) headers += range_header + L"\r\n";
  ::HttpAddRequestHeadersW(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
  if (!::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) request.reset();
  return request;
}

bool DrainBody(HINTERNET request) {
  std::vector<char> piece(static_cast<std::size_t>(kTransferPiece));
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request, piece.data(), static_cast<DWORD>(piece.size()), &got)) {
      return false;
    }
    if (got == 0) return true;
  }
}

}  // namespace tarvolin
