#include "download/short_requests.h"

#include <windows.h>
#include <wininet.h>

#include <optional>
#include <vector>

#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "download/http_reply.h"
#include "download/transfer_rules.h"

namespace tarvolin {
namespace {

constexpr wchar_t kFetchAgent[] = L"MyDownload";
constexpr wchar_t kFetchHeaders[] = L"Accept: */*\r\n\r\n";
constexpr wchar_t kPostAgent[] = L"Tarvolin";
constexpr wchar_t kPostVerb[] = L"POST";
constexpr wchar_t kAcceptHeader[] = L"Accept: */*";
constexpr wchar_t kFormContentHeader[] = L"Content-Type: application/x-www-form-urlencoded";
constexpr DWORD kPostTimeoutMs = 5000;
constexpr DWORD kPostConnectRetries = 1;

// A reply without a status (not HTTP) counts as success: the open was the test.
bool IsSuccessStatus(HINTERNET request) {
  unsigned long code = ReplyStatus(request);
  return code == 0 || (code >= 200 && code < 300);
}

void SetNumberOption(HINTERNET handle, DWORD option, DWORD value) {
  ::InternetSetOptionW(handle, option, &value, sizeof value);
}

void SetTimeouts(HINTERNET handle) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    SetNumberOption(handle, option, kPostTimeoutMs);
  }
  SetNumberOption(handle, INTERNET_OPTION_CONNECT_RETRIES, kPostConnectRetries);
}

struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::wstring server;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
};

bool CrackUrl(const std::wstring& url, UrlParts& parts) {
  std::vector<wchar_t> host(INTERNET_MAX_HOST_NAME_LENGTH + 1), path(url.size() + 1), extra(url.size() + 1);
  URL_COMPONENTSW components{};
  components.dwStructSize = sizeof components;
  components.lpszHostName = host.data();
  components.dwHostNameLength = static_cast<DWORD>(host.size());
  components.lpszUrlPath = path.data();
  components.dwUrlPathLength = static_cast<DWORD>(path.size());
  components.lpszExtraInfo = extra.data();
  components.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) return false;
  parts.scheme = components.nScheme;
  parts.server = host.data();
  parts.port = components.nPort;
  parts.object = std::wstring(path.data()) + extra.data();
  if (parts.object.empty()) parts.object = L"/";
  return true;
}

int PostFailure() { return PostResultForInternetError(::GetLastError()); }

}  // namespace

bool FetchUrl(const std::wstring& url, ByteSink& sink) {
  unique_hinternet session(::InternetOpenW(kFetchAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return false;
  unique_hinternet request(
      ::InternetOpenUrlW(session.get(), url.c_str(), kFetchHeaders, static_cast<DWORD>(-1), INTERNET_FLAG_NO_CACHE_WRITE, 0));
  // An error page is not the document that was asked for.
  if (!request || !IsSuccessStatus(request.get())) return false;
  std::optional<long long> named = ReplyContentLength(request.get());
  std::vector<char> piece(kTransferPiece);
  long long received = 0;
  // Only an empty read ends the body: the Internet layer may hand over less
  // than a piece before the end.
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), piece.data(), kTransferPiece, &got)) return false;
    if (got == 0) break;
    if (!sink.Write(piece.data(), got)) return false;
    received += got;
  }
  // A connection that closes early also ends in an empty read; the named
  // length tells a cut body from a whole one.
  return !named || *named == received;
}

bool FetchUrl(const std::wstring& url, std::string& body) {
  MemorySink sink;
  if (!FetchUrl(url, sink)) return false;
  body = sink.bytes();
  return true;
}

int PostUrl(const std::wstring& url, std::wstring& response) {
  response.clear();
  UrlParts parts;
  if (!CrackUrl(url, parts)) return kPostFailed;
  if (parts.scheme != INTERNET_SCHEME_HTTP && parts.scheme != INTERNET_SCHEME_HTTPS) return kPostFailed;
  const bool secure = parts.scheme == INTERNET_SCHEME_HTTPS;

  unique_hinternet session(::InternetOpenW(kPostAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return PostFailure();
  SetTimeouts(session.get());

  DWORD connect_flags = INTERNET_FLAG_KEEP_CONNECTION | (secure ? INTERNET_FLAG_SECURE : 0);
  unique_hinternet connection(::InternetConnectW(session.get(), parts.server.c_str(), parts.port, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, connect_flags, 0));
  if (!connection) return PostFailure();
  DWORD request_flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                        (secure ? INTERNET_FLAG_SECURE : 0);
  unique_hinternet request(::HttpOpenRequestW(connection.get(), kPostVerb, parts.object.c_str(), nullptr, nullptr,
                                              nullptr, request_flags, 0));
  if (!request) return PostFailure();
  // Set on every level: not every Internet layer hands them down from the session.
  SetTimeouts(connection.get());
  SetTimeouts(request.get());
  for (const wchar_t* header : {kAcceptHeader, kFormContentHeader}) {
    ::HttpAddRequestHeadersW(request.get(), header, static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD_IF_NEW);
  }
  if (!::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return PostFailure();

  std::string body;
  std::vector<char> piece(kTransferPiece);
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), piece.data(), kTransferPiece, &got)) return PostFailure();
    if (got == 0) break;
    body.append(piece.data(), got);
  }
  response = Utf8ToWide(body);
  return kPostOk;
}

int PostResultForInternetError(unsigned long error) {
  return error == kInternetTimeoutError ? kPostTimedOut : kPostFailed;
}

}  // namespace tarvolin
