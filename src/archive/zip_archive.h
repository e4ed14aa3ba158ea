// The zip archive facade: open an archive, list and find its entries, extract
// one to a file or into memory, and unpack the single file of a packed download.
// Thread affinity: one handle belongs to one thread at a time; different handles
// may be used on different threads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tarvolin {

// Result of every facade operation; 0 is success.
enum class ArchiveResult : std::uint32_t {
  kOk = 0x00000000,
  kCreateFailed = 0x00000200,      // creating the output file failed
  kWriteFailed = 0x00000400,       // writing the output file failed
  kNoSuchEntry = 0x00000500,       // no entry of that name
  kMoreData = 0x00000600,          // the caller's buffer is full and more data remains
  kHeaderFailed = 0x00000700,      // reading the entry's header failed
  kReadFailed = 0x00000800,        // seeking or reading the archive failed
  kWrongPassword = 0x00001000,     // the password does not fit
  kBadArguments = 0x00010000,      // no handle, index out of range
  kNotUnzipHandle = 0x00080000,    // kept for callers that test for it; typed handles cannot cause it
  kCorruptData = 0x05000000,       // the compressed data is corrupt
};

struct ArchiveItem {
  // Position in the central directory; after GetArchiveItem with index -1, the
  // number of entries.
  int index = -1;
  // Stored name decoded as UTF-8, cut to 260 characters and made safe.
  std::wstring name;
  DWORD attributes = 0;
  FILETIME creation_time{};
  FILETIME last_access_time{};
  FILETIME last_write_time{};
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
};

class ZipArchive;
struct ZipArchiveCloser {
  void operator()(ZipArchive* archive) const noexcept;
};
// Closes the archive when it goes out of scope.
using ArchiveHandle = std::unique_ptr<ZipArchive, ZipArchiveCloser>;

// Opens an archive file. The password (traditional PKWARE encryption, bytes up
// to the first zero byte) is kept for every encrypted entry of this handle.
// Relative output paths of ExtractItemToFile are placed under the archive's
// folder. Empty when the file cannot be read as a zip archive; `result`, when
// given, then tells why. Every call has its own result: several threads open
// and unpack archives at once.
ArchiveHandle OpenArchive(const std::wstring& path, std::optional<std::string> password = std::nullopt,
                          ArchiveResult* result = nullptr);

// Fills `item` for the entry at `index`; index -1 puts the number of entries
// into item.index.
ArchiveResult GetArchiveItem(ZipArchive* archive, int index, ArchiveItem& item);

// Finds an entry by its stored name, compared in UTF-8 (ignoring case when
// asked). `index` is -1 when there is none.
ArchiveResult FindArchiveItem(ZipArchive* archive, const std::wstring& name, bool ignore_case, int& index,
                              ArchiveItem& item);

// Writes the entry to `output_path` (absolute, or relative to the archive's
// folder, where it can never lead outside), creating missing folders; a
// directory entry creates the folder. The file gets the entry's attributes and
// times. A failed extraction leaves no file behind.
ArchiveResult ExtractItemToFile(ZipArchive* archive, int index, const std::wstring& output_path);

// Reads the next piece of the entry into `buffer`: kOk when the entry is
// complete, kMoreData when the buffer is full and more remains (call again for
// the rest). `bytes_read` tells how much of the buffer holds data.
ArchiveResult ExtractItemToBuffer(ZipArchive* archive, int index, std::span<char> buffer, std::size_t& bytes_read);

// Reads a whole entry into memory.
ArchiveResult ExtractItemToString(ZipArchive* archive, int index, std::string& content);

// Closes the archive now (a handle also closes itself when destroyed).
ArchiveResult CloseArchive(ArchiveHandle& archive);

// Unpacks the only entry of a packed download into `target`, whatever the
// entry's own name; an archive with more or fewer entries is refused. True only when `target` then holds the entry's content: a
// target that cannot be replaced, an archive that cannot be read and an entry
// that does not extract all give false, and no partial target stays behind.
bool UnpackSingleFile(const std::wstring& archive_path, const std::wstring& target_path);

}  // namespace tarvolin
