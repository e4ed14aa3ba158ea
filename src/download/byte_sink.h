// Where the bytes of a transfer go: a file being written, or memory.
// A sink belongs to the one thread that transfers into it.
#pragma once

#include <cstddef>
#include <string>

#include "common/unique_handle.h"

namespace tarvolin {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when the bytes could not all be stored.
  virtual bool Write(const char* bytes, std::size_t count) = 0;
  // Bytes stored so far.
  virtual long long Length() const = 0;
  virtual void Flush() {}
};

class MemorySink : public ByteSink {
 public:
  bool Write(const char* bytes, std::size_t count) override;
  long long Length() const override { return static_cast<long long>(bytes_.size()); }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Creates (or truncates) the file on construction; check is_open().
class FileSink : public ByteSink {
 public:
  explicit FileSink(const std::wstring& path);
  // Opens the file (creating it when missing, keeping what it holds) to write
  // from `offset` on; other writers of the same file at other offsets share it.
  FileSink(const std::wstring& path, long long offset);
  bool is_open() const { return static_cast<bool>(file_); }
  bool Write(const char* bytes, std::size_t count) override;
  long long Length() const override { return length_; }
  void Flush() override;
  // Empties the file and starts again at its beginning.
  bool Rewind();
  // Closes the file before the sink goes, e.g. so it can be deleted.
  void Close() { file_.reset(); }

 private:
  unique_hfile file_;
  long long length_ = 0;
};

}  // namespace tarvolin
