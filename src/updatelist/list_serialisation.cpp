#include "updatelist/list_serialisation.h"

namespace tarvolin {
namespace {

constexpr std::string_view kMagic{"TVDL", 4};
constexpr std::size_t kStringHeaderBytes = 4;
// Eight empty strings, the action word and the two empty digests: the least a
// record can take.
constexpr std::size_t kMinimumRecordBytes = 10 * kStringHeaderBytes + 4 + 4;
// A patch offer: two strings and its size as two u32 halves.
constexpr std::size_t kMinimumPatchBytes = 2 * kStringHeaderBytes + 8;

// wchar_t is UTF-16 on Windows; elsewhere (native test builds) characters
// beyond the basic plane are written as surrogate pairs.
std::u16string ToUtf16(std::wstring_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (wchar_t c : text) {
    auto code = static_cast<std::uint32_t>(c);
    if constexpr (sizeof(wchar_t) > 2) {
      if (code > 0xFFFF) {
        code -= 0x10000;
        units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        continue;
      }
    }
    units.push_back(static_cast<char16_t>(code));
  }
  return units;
}

std::wstring FromUtf16(std::u16string_view units) {
  std::wstring text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    if constexpr (sizeof(wchar_t) > 2) {
      if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
          units[i + 1] < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      }
    }
    text.push_back(static_cast<wchar_t>(code));
  }
  return text;
}

class Writer {
 public:
  void Bytes(std::string_view bytes) { out_.append(bytes); }
  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out_.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
  void Text(std::wstring_view text) {
    std::u16string units = ToUtf16(text);
    U32(static_cast<std::uint32_t>(units.size()));
    for (char16_t unit : units) {
      out_.push_back(static_cast<char>(unit & 0xFF));
      out_.push_back(static_cast<char>(unit >> 8));
    }
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Every read checks the remaining length first; a failed read leaves the
// reader failed for good.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : in_(bytes) {}

  bool Bytes(std::size_t count, std::string_view& bytes) {
    if (count > in_.size()) return false;
    bytes = in_.substr(0, count);
    in_.remove_prefix(count);
    return true;
  }
  bool U32(std::uint32_t& value) {
    std::string_view raw;
    if (!Bytes(4, raw)) return false;
    value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(raw[static_cast<std::size_t>(i)]);
    return true;
  }
  bool Text(std::wstring& text) {
    std::uint32_t count = 0;
    std::string_view raw;
    if (!U32(count) || count > in_.size() / 2 || !Bytes(std::size_t{count} * 2, raw)) return false;
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                       (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    text = FromUtf16(units);
    return true;
  }
  // A count of items that each need at least `item_bytes`; refuses counts the
  // remaining input cannot hold, before anything is allocated for them.
  bool Count(std::size_t item_bytes, std::uint32_t& count) {
    return U32(count) && count <= in_.size() / item_bytes;
  }
  bool AtEnd() const { return in_.empty(); }

 private:
  std::string_view in_;
};

void WriteRecord(Writer& out, const updatefileinfo& r) {
  for (const std::wstring* field :
       {&r.url, &r.path, &r.dstName, &r.version, &r.spare, &r.shortcut, &r.shortcutIcon, &r.iconIndex})
    out.Text(*field);
  out.U32(r.action);
  out.Text(r.sha256);
  out.Text(r.md5);
  out.U32(static_cast<std::uint32_t>(r.patches.size()));
  for (const PatchOffer& patch : r.patches) {
    out.Text(patch.from);
    out.Text(patch.url);
    const auto size = static_cast<std::uint64_t>(patch.size);
    out.U32(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
    out.U32(static_cast<std::uint32_t>(size >> 32));
  }
}

bool ReadRecord(Reader& in, updatefileinfo& r) {
  for (std::wstring* field :
       {&r.url, &r.path, &r.dstName, &r.version, &r.spare, &r.shortcut, &r.shortcutIcon, &r.iconIndex})
    if (!in.Text(*field)) return false;
  std::uint32_t count = 0;
  if (!in.U32(r.action) || !in.Text(r.sha256) || !in.Text(r.md5) || !in.Count(kMinimumPatchBytes, count))
    return false;
  r.patches.resize(count);
  for (PatchOffer& patch : r.patches) {
    std::uint32_t low = 0, high = 0;
    if (!in.Text(patch.from) || !in.Text(patch.url) || !in.U32(low) || !in.U32(high)) return false;
    const std::uint64_t size = (std::uint64_t{high} << 32) | low;
    if (size > static_cast<std::uint64_t>(INT64_MAX)) return false;
    patch.size = static_cast<long long>(size);
  }
  return true;
}

}  // namespace

std::string SerializeDownloadList(const DownloadListValues& values) {
  Writer out;
  out.Bytes(kMagic);
  out.U32(kDownloadListFormatVersion);
  out.U32(static_cast<std::uint32_t>(values.status));
  out.Text(values.description);
  out.U32(static_cast<std::uint32_t>(values.tasks.size()));
  for (const std::wstring& task : values.tasks) out.Text(task);
  out.U32(static_cast<std::uint32_t>(values.records.size()));
  for (const updatefileinfo& record : values.records) WriteRecord(out, record);
  return out.Take();
}

bool DeserializeDownloadList(std::string_view bytes, DownloadListValues& values) {
  Reader in(bytes);
  std::string_view magic;
  std::uint32_t version = 0, status = 0, count = 0;
  if (!in.Bytes(kMagic.size(), magic) || magic != kMagic || !in.U32(version) ||
      version != kDownloadListFormatVersion || !in.U32(status))
    return false;

  DownloadListValues read;
  read.status = static_cast<int>(status);
  if (!in.Text(read.description) || !in.Count(kStringHeaderBytes, count)) return false;
  read.tasks.resize(count);
  for (std::wstring& task : read.tasks)
    if (!in.Text(task)) return false;
  if (!in.Count(kMinimumRecordBytes, count)) return false;
  read.records.resize(count);
  for (updatefileinfo& record : read.records)
    if (!ReadRecord(in, record)) return false;
  // Trailing bytes mean the image is not what this version wrote.
  if (!in.AtEnd()) return false;
  values = std::move(read);
  return true;
}

}  // namespace tarvolin
