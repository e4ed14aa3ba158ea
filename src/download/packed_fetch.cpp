#include "download/packed_fetch.h"

#include "archive/zip_archive.h"
#include "download/file_downloader.h"

namespace tarvolin {
namespace {

constexpr int kAttempts = 2;

bool TransferOnce(const PackedFetchRequest& request, const std::wstring& url, const std::wstring& file) {
  if (!request.single_stream)
    return DownloadFile(url, file, request.threads, request.caller_value, request.window) == 0;
  FileDownloader downloader;
  downloader.set_thread_count(request.threads);
  if (downloader.DownloadFile(url, file, true, request.caller_value, request.window)) return true;
  ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(file.c_str());
  return false;
}

}  // namespace

FetchedForm FetchPackedOrPlain(const PackedFetchRequest& request, const FetchNote& note) {
  auto say = [&note](const wchar_t* format, const std::wstring& value) {
    if (note) note(format, value);
  };
  bool zipped = request.packed_first;
  const std::wstring zipped_file = request.target + kZippedSuffix;

  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::wstring attempt_url = zipped ? request.url + kZippedSuffix : request.url;
    const std::wstring file = zipped ? zipped_file : request.target;
    if (!TransferOnce(request, attempt_url, file)) {
      say(L"error[%s]", attempt_url);
      ::DeleteFileW(file.c_str());
      zipped = !zipped;
      continue;
    }
    say(L"done[%s]", attempt_url);
    if (!zipped) return FetchedForm::kPlain;
    if (!request.unzip) return FetchedForm::kPacked;
    if (UnpackSingleFile(zipped_file, request.target)) {
      say(L"unzip ok[%s]", zipped_file);
      ::DeleteFileW(zipped_file.c_str());
      return FetchedForm::kUnpacked;
    }
    say(L"unzip error[%s]", zipped_file);
    ::DeleteFileW(zipped_file.c_str());
    ::DeleteFileW(request.target.c_str());
    zipped = false;
  }
  return FetchedForm::kNone;
}

}  // namespace tarvolin
