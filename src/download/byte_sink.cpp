#include "download/byte_sink.h"

namespace tarvolin {

bool MemorySink::Write(const char* bytes, std::size_t count) {
  bytes_.append(bytes, count);
  return true;
}

FileSink::FileSink(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr)) {}

FileSink::FileSink(const std::wstring& path, long long offset)
    : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (file_ && !::SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN)) file_.reset();
}

bool FileSink::Rewind() {
  LARGE_INTEGER start{};
  if (!file_ || !::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get())) {
    return false;
  }
  length_ = 0;
  return true;
}

bool FileSink::Write(const char* bytes, std::size_t count) {
  if (!file_) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(file_.get(), bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
  length_ += written;
  return ok;
}

void FileSink::Flush() {
  if (file_) ::FlushFileBuffers(file_.get());
}

}  // namespace tarvolin
