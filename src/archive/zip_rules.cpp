#include "archive/zip_rules.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace tarvolin {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Position just past the first parent step inside the name ("\..\" and its
// slash variants), or npos.
std::size_t EndOfFirstParentStep(const std::wstring& name) {
  static constexpr std::wstring_view kSteps[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
  std::size_t first = std::wstring::npos;
  for (auto step : kSteps) first = std::min(first, name.find(step));
  return first == std::wstring::npos ? first : first + 4;
}

bool StartsWithParentStep(const std::wstring& name) {
  return name.size() >= 3 && name[0] == L'.' && name[1] == L'.' && IsSeparator(name[2]);
}

// A name that is ".." or ends in a parent step ("a/..") leads out of where it
// points; nothing of it is worth keeping.
bool EndsWithParentStep(const std::wstring& name) {
  if (name == L"..") return true;
  return name.size() >= 3 && name.ends_with(L"..") && IsSeparator(name[name.size() - 3]);
}

std::uint32_t ReadLittleEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i)
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

// Traditional PKWARE stream cipher state; the CRC table is zlib's.
class PkwareKeys {
 public:
  explicit PkwareKeys(std::string_view password) : table_(get_crc_table()) {
    for (char c : password) Update(static_cast<unsigned char>(c));
  }
  std::uint8_t Decrypt(std::uint8_t c) {
    std::uint8_t plain = c ^ StreamByte();
    Update(plain);
    return plain;
  }

 private:
  std::uint32_t Crc(std::uint32_t crc, std::uint8_t b) const { return table_[(crc ^ b) & 0xff] ^ (crc >> 8); }
  void Update(std::uint8_t plain) {
    keys_[0] = Crc(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1;
    keys_[2] = Crc(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
  }
  std::uint8_t StreamByte() const {
    std::uint32_t temp = (keys_[2] & 0xffff) | 2;
    return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
  }

  const z_crc_t* table_;
  std::array<std::uint32_t, 3> keys_{0x12345678u, 0x23456789u, 0x34567890u};
};

}  // namespace

std::wstring MakeSafeEntryName(std::wstring name) {
  for (bool changed = true; changed;) {
    changed = false;
    if (name.size() >= 2 && name[1] == L':') {
      name.erase(0, 2);
      changed = true;
    }
    if (!name.empty() && IsSeparator(name[0])) {
      name.erase(0, 1);
      changed = true;
    }
    if (std::size_t end = EndOfFirstParentStep(name); end != std::wstring::npos) {
      name.erase(0, end);
      changed = true;
    }
    // The rules above need a separator before the parent step; a name may also
    // start with one, or end in one.
    if (StartsWithParentStep(name)) {
      name.erase(0, 3);
      changed = true;
    }
    if (EndsWithParentStep(name)) {
      name.clear();
      changed = true;
    }
  }
  return name;
}

std::uint32_t EntryAttributes(std::uint32_t version_made_by, std::uint32_t external_attributes,
                              std::wstring_view stored_name) {
  using namespace entry_attributes;
  const std::uint32_t host = (version_made_by >> 8) & 0xff;
  // FAT, OS/2 HPFS, NTFS and VFAT keep DOS attribute bits in the low byte.
  const bool dos_like = host == 0 || host == 6 || host == 10 || host == 14;
  std::uint32_t attributes = 0;
  if (dos_like) {
    attributes = external_attributes & (kReadOnly | kHidden | kSystem | kDirectory | kArchive);
  } else {
    const std::uint32_t mode = external_attributes >> 16;
    constexpr std::uint32_t kTypeMask = 0170000, kDirectoryType = 0040000, kOwnerWrite = 0200;
    attributes = kArchive;
    if ((mode & kTypeMask) == kDirectoryType) attributes |= kDirectory;
    if ((mode & kOwnerWrite) == 0) attributes |= kReadOnly;
  }
  if (!stored_name.empty() && IsSeparator(stored_name.back())) attributes |= kDirectory;
  return attributes;
}

std::optional<ExtendedTimestamps> FindExtendedTimestamps(std::string_view extra_field) {
  constexpr std::uint32_t kExtendedTimestampTag = 0x5455;  // "UT"
  std::size_t at = 0;
  while (at + 4 <= extra_field.size()) {
    const std::uint32_t tag = ReadLittleEndian(extra_field, at, 2);
    const std::size_t size = ReadLittleEndian(extra_field, at + 2, 2);
    at += 4;
    if (at + size > extra_field.size()) return std::nullopt;
    if (tag == kExtendedTimestampTag) {
      if (size < 1) return std::nullopt;
      std::string_view data = extra_field.substr(at, size);
      const std::uint32_t flags = static_cast<unsigned char>(data[0]);
      ExtendedTimestamps times;
      std::optional<std::int64_t>* slots[] = {&times.last_write, &times.last_access, &times.creation};
      // The central directory copy keeps all flag bits but only the write time,
      // so a flagged time is read only when its bytes are there.
      std::size_t next = 1;
      for (int bit = 0; bit < 3; ++bit) {
        if ((flags & (1u << bit)) == 0) continue;
        if (next + 4 > data.size()) break;
        *slots[bit] = static_cast<std::int32_t>(ReadLittleEndian(data, next, 4));
        next += 4;
      }
      return times;
    }
    at += size;
  }
  return std::nullopt;
}

std::uint64_t UnixSecondsToFileTime(std::int64_t seconds) {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
  constexpr std::int64_t kIntervalsPerSecond = 10000000LL;
  const std::int64_t since_1601 = std::max<std::int64_t>(seconds + kSecondsFrom1601To1970, 0);
  return static_cast<std::uint64_t>(since_1601) * kIntervalsPerSecond;
}

bool PasswordMatchesHeader(std::string_view password, std::string_view encryption_header,
                           std::uint8_t check_byte) {
  constexpr std::size_t kHeaderSize = 12;
  if (encryption_header.size() != kHeaderSize) return false;
  PkwareKeys keys(password);
  std::uint8_t plain = 0;
  for (char c : encryption_header) plain = keys.Decrypt(static_cast<std::uint8_t>(c));
  return plain == check_byte;
}

std::uint8_t EncryptionCheckByte(std::uint32_t flags, std::uint32_t crc, std::uint32_t dos_date_time) {
  constexpr std::uint32_t kDataDescriptorFollows = 0x8;
  if (flags & kDataDescriptorFollows) return static_cast<std::uint8_t>((dos_date_time >> 8) & 0xff);
  return static_cast<std::uint8_t>(crc >> 24);
}

bool IsAbsoluteOutputPath(std::wstring_view path) {
  if (path.empty()) return false;
  return IsSeparator(path[0]) || (path.size() >= 2 && path[1] == L':');
}

}  // namespace tarvolin
