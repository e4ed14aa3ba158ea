#include "download/http_reply.h"

#include <string>

#include "common/strings.h"

namespace tarvolin {

unsigned long ReplyStatus(HINTERNET request) {
  DWORD code = 0, size = sizeof code;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr)) return 0;
  return code;
}

// Read as text so that a value beyond 32 bits is seen as such rather than cut.
std::optional<long long> ReplyContentLength(HINTERNET request) {
  wchar_t text[32] = {};
  DWORD size = sizeof text;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return std::nullopt;
  std::wstring value = Trim(text);
  if (value.empty() || value[0] < L'0' || value[0] > L'9') return std::nullopt;
  return ParseDecimal(value);
}

}  // namespace tarvolin
