#include "archive/zip_archive.h"

// unzip.h first: iowin32.h relies on the declarations it brings in.
#include <unzip.h>
#include <iowin32.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <variant>
#include <vector>

#include "archive/zip_rules.h"
#include "common/files.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

// Extraction streams through one buffer of this size per handle.
constexpr std::size_t kStreamBufferSize = 16 * 1024;
// Traditional encryption puts this many bytes before the entry's data.
constexpr std::size_t kEncryptionHeaderSize = 12;
constexpr std::uint32_t kEncryptedFlag = 0x1;

inline void CloseUnzipFile(unzFile file) { unzClose(file); }
using unique_unzfile = unique_any<detail::NullTraits<unzFile, CloseUnzipFile>>;

FILETIME ToFileTime(std::uint64_t intervals) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(intervals & 0xffffffffu);
  time.dwHighDateTime = static_cast<DWORD>(intervals >> 32);
  return time;
}

// DOS times are local times of the machine that made the archive; we take
// them as local times of this one, as everybody does.
FILETIME DosDateTimeToUtc(std::uint32_t dos_date_time) {
  FILETIME local{}, utc{};
  if (!::DosDateTimeToFileTime(HIWORD(dos_date_time), LOWORD(dos_date_time), &local)) return utc;
  ::LocalFileTimeToFileTime(&local, &utc);
  return utc;
}

// A write time in the field stands in for the times the field leaves out.
void ApplyExtendedTimestamps(const ExtendedTimestamps& times, ArchiveItem& item) {
  if (times.last_write) {
    FILETIME write = ToFileTime(UnixSecondsToFileTime(*times.last_write));
    item.last_write_time = item.last_access_time = item.creation_time = write;
  }
  if (times.last_access) item.last_access_time = ToFileTime(UnixSecondsToFileTime(*times.last_access));
  if (times.creation) item.creation_time = ToFileTime(UnixSecondsToFileTime(*times.creation));
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return L"";
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool IsDirectory(const ArchiveItem& item) { return (item.attributes & entry_attributes::kDirectory) != 0; }

DWORD FileAttributesOf(const ArchiveItem& item) {
  using namespace entry_attributes;
  DWORD attributes = item.attributes & (kReadOnly | kHidden | kSystem | kArchive);
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void DeletePartialFile(const std::wstring& path) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

struct EntryRecord {
  unz64_file_pos position{};
  unz_file_info64 info{};
  std::string stored_name;
  ArchiveItem item;
};

}  // namespace

// One open archive: the reader, the password, every entry's central record
// (read once at open, so listing never moves the reader), and the entry that
// is open for piecewise reading.
class ZipArchive {
 public:
  ZipArchive(unique_unzfile file, std::optional<std::string> password, std::wstring base_folder)
      : file_(std::move(file)), password_(std::move(password)), base_folder_(std::move(base_folder)) {}
  ~ZipArchive() { CloseOpenEntry(); }

  ArchiveResult ReadCentralDirectory();
  int Count() const { return static_cast<int>(entries_.size()); }
  bool ValidIndex(int index) const { return index >= 0 && index < Count(); }
  const EntryRecord& Entry(int index) const { return entries_[index]; }
  int Find(const std::wstring& name, bool ignore_case) const;

  ArchiveResult ExtractToFile(int index, const std::wstring& output_path);
  ArchiveResult ExtractToBuffer(int index, std::span<char> buffer, std::size_t& bytes_read);
  void CloseOpenEntry();

 private:
  bool Encrypted(int index) const { return (entries_[index].info.flag & kEncryptedFlag) != 0; }
  ArchiveResult OpenEntry(int index);
  ArchiveResult CheckPassword(int index);
  // Bytes read (0 at the end of the entry), or a failure.
  std::variant<std::size_t, ArchiveResult> ReadPiece(char* buffer, std::size_t size);
  ArchiveResult FinishEntry();
  static ArchiveResult ReadError(int code, bool encrypted);
  std::optional<std::wstring> ResolveOutputPath(const std::wstring& output_path, bool directory) const;
  ArchiveResult WriteEntry(HANDLE output);
  void ApplyLocalTimestamps(ArchiveItem& item);

  unique_unzfile file_;
  std::optional<std::string> password_;
  std::wstring base_folder_;  // full path with a trailing backslash
  std::vector<EntryRecord> entries_;
  int open_entry_ = -1;
  std::uint64_t open_entry_read_ = 0;
  std::vector<char> stream_buffer_;
};

ArchiveResult ZipArchive::ReadCentralDirectory() {
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(file_.get(), &global) != UNZ_OK) return ArchiveResult::kReadFailed;
  if (global.number_entry > static_cast<ZPOS64_T>(INT_MAX)) return ArchiveResult::kReadFailed;
  entries_.reserve(static_cast<std::size_t>(global.number_entry));
  for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
    int step = i == 0 ? unzGoToFirstFile(file_.get()) : unzGoToNextFile(file_.get());
    if (step != UNZ_OK) return ArchiveResult::kReadFailed;
    EntryRecord record;
    if (unzGetCurrentFileInfo64(file_.get(), &record.info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
      return ArchiveResult::kHeaderFailed;
    record.stored_name.resize(record.info.size_filename);
    std::string extra(record.info.size_file_extra, '\0');
    if (unzGetCurrentFileInfo64(file_.get(), &record.info, record.stored_name.data(),
                                static_cast<uLong>(record.stored_name.size()), extra.data(),
                                static_cast<uLong>(extra.size()), nullptr, 0) != UNZ_OK ||
        unzGetFilePos64(file_.get(), &record.position) != UNZ_OK)
      return ArchiveResult::kHeaderFailed;

    ArchiveItem& item = record.item;
    item.index = static_cast<int>(i);
    std::wstring decoded = Utf8ToWide(record.stored_name);
    if (decoded.size() > kMaxEntryNameLength) decoded.resize(kMaxEntryNameLength);
    item.name = MakeSafeEntryName(decoded);
    // A ":" left after the drive is gone names an alternate data stream of
    // the file before it: such an archive is refused whole.
    if (item.name.find(L':') != std::wstring::npos) return ArchiveResult::kHeaderFailed;
    item.attributes = EntryAttributes(record.info.version, record.info.external_fa, decoded);
    item.creation_time = item.last_access_time = item.last_write_time = DosDateTimeToUtc(record.info.dosDate);
    if (auto times = FindExtendedTimestamps(extra)) ApplyExtendedTimestamps(*times, item);
    item.compressed_size = record.info.compressed_size;
    item.uncompressed_size = record.info.uncompressed_size;
    entries_.push_back(std::move(record));
  }
  return ArchiveResult::kOk;
}

int ZipArchive::Find(const std::wstring& name, bool ignore_case) const {
  const std::string wanted = WideToUtf8(name);
  for (const EntryRecord& entry : entries_) {
    bool same = ignore_case ? SameTextIgnoringCase(Utf8ToWide(entry.stored_name), name) : entry.stored_name == wanted;
    if (same) return entry.item.index;
  }
  return -1;
}

// Garbage from a wrong password shows up as bad data; the header check lets
// one wrong password in 256 through to here.
ArchiveResult ZipArchive::ReadError(int code, bool encrypted) {
  switch (code) {
    case UNZ_ERRNO:
      return ArchiveResult::kReadFailed;
    case UNZ_PARAMERROR:
      return ArchiveResult::kBadArguments;
    default:
      return encrypted ? ArchiveResult::kWrongPassword : ArchiveResult::kCorruptData;
  }
}

ArchiveResult ZipArchive::CheckPassword(int index) {
  if (!password_) return ArchiveResult::kWrongPassword;
  // minizip decrypts whatever password it is given; read the header raw and
  // check it ourselves so a wrong password is told apart from corrupt data.
  if (unzOpenCurrentFile2(file_.get(), nullptr, nullptr, 1) != UNZ_OK) return ArchiveResult::kHeaderFailed;
  char header[kEncryptionHeaderSize];
  int got = unzReadCurrentFile(file_.get(), header, sizeof header);
  unzCloseCurrentFile(file_.get());
  if (got != static_cast<int>(sizeof header)) return ArchiveResult::kReadFailed;
  const unz_file_info64& info = entries_[index].info;
  const std::uint8_t check = EncryptionCheckByte(info.flag, info.crc, info.dosDate);
  return PasswordMatchesHeader(*password_, std::string_view(header, sizeof header), check)
             ? ArchiveResult::kOk
             : ArchiveResult::kWrongPassword;
}

ArchiveResult ZipArchive::OpenEntry(int index) {
  if (open_entry_ == index) return ArchiveResult::kOk;
  CloseOpenEntry();
  if (unzGoToFilePos64(file_.get(), &entries_[index].position) != UNZ_OK) return ArchiveResult::kReadFailed;
  const bool encrypted = Encrypted(index);
  if (encrypted) {
    if (ArchiveResult check = CheckPassword(index); check != ArchiveResult::kOk) return check;
  }
  // A password given for a plain entry would scramble it.
  if (unzOpenCurrentFilePassword(file_.get(), encrypted ? password_->c_str() : nullptr) != UNZ_OK)
    return ArchiveResult::kHeaderFailed;
  open_entry_ = index;
  open_entry_read_ = 0;
  return ArchiveResult::kOk;
}

void ZipArchive::CloseOpenEntry() {
  if (open_entry_ < 0) return;
  unzCloseCurrentFile(file_.get());
  open_entry_ = -1;
}

std::variant<std::size_t, ArchiveResult> ZipArchive::ReadPiece(char* buffer, std::size_t size) {
  const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX));
  int got = unzReadCurrentFile(file_.get(), buffer, chunk);
  if (got < 0) return ReadError(got, Encrypted(open_entry_));
  open_entry_read_ += static_cast<std::uint64_t>(got);
  return static_cast<std::size_t>(got);
}

// Closes the entry after its last byte; the CRC and the size prove the content.
ArchiveResult ZipArchive::FinishEntry() {
  const int index = open_entry_;
  const bool complete = open_entry_read_ == entries_[index].info.uncompressed_size;
  int closed = unzCloseCurrentFile(file_.get());
  open_entry_ = -1;
  if (closed == UNZ_OK && complete) return ArchiveResult::kOk;
  return ReadError(closed == UNZ_OK ? UNZ_CRCERROR : closed, Encrypted(index));
}

std::optional<std::wstring> ZipArchive::ResolveOutputPath(const std::wstring& output_path, bool directory) const {
  std::wstring path = output_path;
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  if (IsAbsoluteOutputPath(path)) return path;
  if (base_folder_.empty()) return std::nullopt;
  // Relative paths usually come from entry names: they must stay under the base folder.
  std::wstring full = FullPath(base_folder_ + MakeSafeEntryName(path));
  std::wstring_view base = base_folder_;
  if (full.size() > base.size() && SameTextIgnoringCase(std::wstring_view(full).substr(0, base.size()), base))
    return full;
  // A directory entry may name the base folder itself; creating it is harmless.
  if (directory && (SameTextIgnoringCase(full, base) || SameTextIgnoringCase(full + L"\\", base))) return full;
  return std::nullopt;
}

ArchiveResult ZipArchive::WriteEntry(HANDLE output) {
  if (stream_buffer_.empty()) stream_buffer_.resize(kStreamBufferSize);
  for (;;) {
    auto piece = ReadPiece(stream_buffer_.data(), stream_buffer_.size());
    if (auto* failure = std::get_if<ArchiveResult>(&piece)) return *failure;
    const std::size_t got = std::get<std::size_t>(piece);
    if (got == 0) return ArchiveResult::kOk;
    DWORD written = 0;
    if (!::WriteFile(output, stream_buffer_.data(), static_cast<DWORD>(got), &written, nullptr) || written != got)
      return ArchiveResult::kWriteFailed;
  }
}

// The local header's copy of the time stamp field may carry the access and
// creation times that the central copy leaves out.
void ZipArchive::ApplyLocalTimestamps(ArchiveItem& item) {
  int size = unzGetLocalExtrafield(file_.get(), nullptr, 0);
  if (size <= 0) return;
  std::string extra(static_cast<std::size_t>(size), '\0');
  if (unzGetLocalExtrafield(file_.get(), extra.data(), static_cast<unsigned>(size)) != size) return;
  if (auto times = FindExtendedTimestamps(extra)) ApplyExtendedTimestamps(*times, item);
}

ArchiveResult ZipArchive::ExtractToFile(int index, const std::wstring& output_path) {
  CloseOpenEntry();
  ArchiveItem item = entries_[index].item;
  const bool directory = IsDirectory(item);
  std::optional<std::wstring> path = ResolveOutputPath(output_path, directory);
  if (!path) return ArchiveResult::kCreateFailed;
  if (directory) return CreateDirectoryTree(*path) ? ArchiveResult::kOk : ArchiveResult::kCreateFailed;

  // Open the entry first: a wrong password must not cost the caller an existing file.
  if (ArchiveResult opened = OpenEntry(index); opened != ArchiveResult::kOk) return opened;
  ApplyLocalTimestamps(item);
  std::wstring folder = FolderOf(*path);
  if (!folder.empty()) CreateDirectoryTree(folder);
  unique_hfile output(
      ::CreateFileW(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FileAttributesOf(item), nullptr));
  if (!output) {
    CloseOpenEntry();
    return ArchiveResult::kCreateFailed;
  }
  ArchiveResult result = WriteEntry(output.get());
  if (result == ArchiveResult::kOk) result = FinishEntry();
  CloseOpenEntry();
  if (result == ArchiveResult::kOk) {
    ::SetFileTime(output.get(), &item.creation_time, &item.last_access_time, &item.last_write_time);
    return result;
  }
  output.reset();
  DeletePartialFile(*path);
  return result;
}

ArchiveResult ZipArchive::ExtractToBuffer(int index, std::span<char> buffer, std::size_t& bytes_read) {
  bytes_read = 0;
  if (ArchiveResult opened = OpenEntry(index); opened != ArchiveResult::kOk) return opened;
  while (bytes_read < buffer.size()) {
    auto piece = ReadPiece(buffer.data() + bytes_read, buffer.size() - bytes_read);
    if (auto* failure = std::get_if<ArchiveResult>(&piece)) {
      CloseOpenEntry();
      return *failure;
    }
    const std::size_t got = std::get<std::size_t>(piece);
    if (got == 0) return FinishEntry();
    bytes_read += got;
  }
  if (unzeof(file_.get()) == 1) return FinishEntry();
  return ArchiveResult::kMoreData;
}

void ZipArchiveCloser::operator()(ZipArchive* archive) const noexcept { delete archive; }

ArchiveHandle OpenArchive(const std::wstring& path, std::optional<std::string> password, ArchiveResult* result) {
  ArchiveResult ignored;
  ArchiveResult& outcome = result ? *result : ignored;
  zlib_filefunc64_def functions{};
  fill_win32_filefunc64W(&functions);
  unique_unzfile file(unzOpen2_64(path.c_str(), &functions));
  if (!file) {
    outcome = ArchiveResult::kReadFailed;
    return nullptr;
  }
  // minizip takes the password as a C string.
  if (password) password->resize(std::strlen(password->c_str()));
  std::wstring full = FullPath(path);
  std::wstring base_folder = full.substr(0, full.find_last_of(L"\\/") + 1);
  ArchiveHandle archive(new ZipArchive(std::move(file), std::move(password), std::move(base_folder)));
  outcome = archive->ReadCentralDirectory();
  if (outcome != ArchiveResult::kOk) return nullptr;
  return archive;
}

ArchiveResult GetArchiveItem(ZipArchive* archive, int index, ArchiveItem& item) {
  if (!archive) return ArchiveResult::kBadArguments;
  if (index == -1) {
    item = ArchiveItem{};
    item.index = archive->Count();
    return ArchiveResult::kOk;
  }
  if (!archive->ValidIndex(index)) return ArchiveResult::kBadArguments;
  item = archive->Entry(index).item;
  return ArchiveResult::kOk;
}

ArchiveResult FindArchiveItem(ZipArchive* archive, const std::wstring& name, bool ignore_case, int& index,
                              ArchiveItem& item) {
  index = -1;
  if (!archive) return ArchiveResult::kBadArguments;
  index = archive->Find(name, ignore_case);
  if (index < 0) return ArchiveResult::kNoSuchEntry;
  item = archive->Entry(index).item;
  return ArchiveResult::kOk;
}

ArchiveResult ExtractItemToFile(ZipArchive* archive, int index, const std::wstring& output_path) {
  if (!archive || !archive->ValidIndex(index)) return ArchiveResult::kBadArguments;
  return archive->ExtractToFile(index, output_path);
}

ArchiveResult ExtractItemToBuffer(ZipArchive* archive, int index, std::span<char> buffer, std::size_t& bytes_read) {
  bytes_read = 0;
  if (!archive || !archive->ValidIndex(index) || buffer.empty()) return ArchiveResult::kBadArguments;
  return archive->ExtractToBuffer(index, buffer, bytes_read);
}

ArchiveResult ExtractItemToString(ZipArchive* archive, int index, std::string& content) {
  content.clear();
  if (!archive || !archive->ValidIndex(index)) return ArchiveResult::kBadArguments;
  archive->CloseOpenEntry();  // always from the start
  char piece[kStreamBufferSize];
  for (;;) {
    std::size_t got = 0;
    ArchiveResult result = archive->ExtractToBuffer(index, piece, got);
    content.append(piece, got);
    if (result != ArchiveResult::kMoreData) {
      if (result != ArchiveResult::kOk) content.clear();
      return result;
    }
  }
}

ArchiveResult CloseArchive(ArchiveHandle& archive) {
  if (!archive) return ArchiveResult::kBadArguments;
  archive.reset();
  return ArchiveResult::kOk;
}

}  // namespace tarvolin
