#include "download/byte_sink.h"

namespace tarvolin {

bool MemorySink::Write(const char* bytes, std::size_t count) {
  bytes_.append(bytes, count);
  return true;
}

FileSink::FileSink(const std::wstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr)) {}

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
