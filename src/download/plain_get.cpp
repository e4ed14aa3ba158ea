#include "download/plain_get.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "common/unique_handle.h"
#include "download/transfer_rules.h"

namespace tarvolin {
namespace {

bool IsSuccessReply(HINTERNET request) {
  DWORD code = 0, size = sizeof code;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr))
    return true;  // not HTTP (file:, ftp:): the open itself was the test
  return code == 200;
}

}  // namespace

PlainGetResult PlainGetToFile(const std::wstring& url, const std::wstring& path, const std::wstring& agent) {
  unique_hinternet session(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return PlainGetResult::UrlFailed;
  unique_hinternet request(::InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0,
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request || !IsSuccessReply(request.get())) return PlainGetResult::UrlFailed;

  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return PlainGetResult::FileFailed;

  std::vector<char> piece(kTransferPiece);
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), piece.data(), static_cast<DWORD>(piece.size()), &got))
      return PlainGetResult::TransferFailed;
    if (got == 0) return PlainGetResult::Ok;
    DWORD written = 0;
    if (!::WriteFile(file.get(), piece.data(), got, &written, nullptr) || written != got)
      return PlainGetResult::FileFailed;
  }
}

}  // namespace tarvolin
