#include "download/http_reply.h"

#include <string>

#include "common/strings.h"

namespace tarvolin {
namespace {

std::optional<std::wstring> HeaderText(HINTERNET request, DWORD header) {
  wchar_t text[128] = {};
  DWORD size = sizeof text;
  if (!::HttpQueryInfoW(request, header, text, &size, nullptr)) return std::nullopt;
  return Trim(text);
}

}  // namespace

unsigned long ReplyStatus(HINTERNET request) {
  DWORD code = 0, size = sizeof code;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr)) return 0;
  return code;
}

// Read as text so that a value beyond 32 bits is seen as such rather than cut.
std::optional<long long> ReplyContentLength(HINTERNET request) {
  std::optional<std::wstring> value = HeaderText(request, HTTP_QUERY_CONTENT_LENGTH);
  if (!value || value->empty() || (*value)[0] < L'0' || (*value)[0] > L'9') return std::nullopt;
  return ParseDecimal(*value);
}

bool ReplyAcceptsRanges(HINTERNET request) {
  std::optional<std::wstring> value = HeaderText(request, HTTP_QUERY_ACCEPT_RANGES);
  return value && ToLower(*value) == L"bytes";
}

std::optional<ContentRange> ReplyContentRange(HINTERNET request) {
  std::optional<std::wstring> value = HeaderText(request, HTTP_QUERY_CONTENT_RANGE);
  if (!value) return std::nullopt;
  return ParseContentRange(*value);
}

}  // namespace tarvolin
