// Decisions of the zip layer that need neither Windows nor the archive reader:
// entry names, attributes, time stamps and the password check. Kept apart so
// they can be tested with tables and compiled natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvolin {

// Longest entry name we report, in UTF-16 code units.
inline constexpr std::size_t kMaxEntryNameLength = 260;

// Windows file attribute bits as the archive facade reports them.
namespace entry_attributes {
inline constexpr std::uint32_t kReadOnly = 0x01;
inline constexpr std::uint32_t kHidden = 0x02;
inline constexpr std::uint32_t kSystem = 0x04;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
}  // namespace entry_attributes

// Turns a stored name into one that stays inside the folder it is extracted to:
// drive prefixes, leading separators and every parent step (with what precedes
// it) are removed, repeatedly, until nothing changes.
std::wstring MakeSafeEntryName(std::wstring name);

// Attributes from the "version made by" word and the external attributes of a
// central directory record. DOS-like hosts store DOS attribute bits; others
// (Unix and the rest) store a mode in the high 16 bits. A stored name ending in
// a separator is a directory whatever the host wrote.
std::uint32_t EntryAttributes(std::uint32_t version_made_by, std::uint32_t external_attributes,
                              std::wstring_view stored_name);

// The values of the extended-timestamp extra field ("UT", tag 0x5455) in Unix
// seconds; a time the field does not carry stays empty.
struct ExtendedTimestamps {
  std::optional<std::int64_t> last_write;
  std::optional<std::int64_t> last_access;
  std::optional<std::int64_t> creation;
};
// Finds and reads the field in an extra-field block (central or local);
// nothing when the block has none or it is malformed.
std::optional<ExtendedTimestamps> FindExtendedTimestamps(std::string_view extra_field);

// 100-nanosecond intervals since 1601-01-01 (a FILETIME) for Unix seconds.
std::uint64_t UnixSecondsToFileTime(std::int64_t seconds);

// Traditional PKWARE encryption: decrypts the 12-byte header that precedes an
// encrypted entry's data with `password` and compares its last byte with the
// check byte the writer put there. A wrong password passes with a chance of
// 1 in 256; decompression and the CRC catch the rest.
bool PasswordMatchesHeader(std::string_view password, std::string_view encryption_header,
                           std::uint8_t check_byte);
// The check byte: the high byte of the DOS time when the entry's sizes and CRC
// follow its data (flag bit 3), else the high byte of the CRC.
std::uint8_t EncryptionCheckByte(std::uint32_t flags, std::uint32_t crc, std::uint32_t dos_date_time);

// True when the output path is absolute: it starts with "\" or "/", or its
// second character is ":".
bool IsAbsoluteOutputPath(std::wstring_view path);

}  // namespace tarvolin
