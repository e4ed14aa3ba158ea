#include "pipeline/parked_files.h"

#include <map>
#include <mutex>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "updatelist/list_cache_name.h"

namespace tarvolin {
namespace {

// One line per parked file: target, address and version, separated by a
// character that none of them can hold.
constexpr wchar_t kSeparator = L'\t';

std::mutex& Guard() {
  static std::mutex guard;
  return guard;
}

using Entries = std::map<std::wstring, std::wstring>;  // lower-cased target -> "url\tversion"

Entries Read() {
  Entries entries;
  auto bytes = ReadWholeFile(ParkedRecordPath());
  if (!bytes) return entries;
  for (const auto& line : Split(Utf8ToWide(*bytes), L'\n')) {
    auto fields = Split(line, kSeparator);
    if (fields.size() == 3) entries[fields[0]] = fields[1] + kSeparator + fields[2];
  }
  return entries;
}

void Write(const Entries& entries) {
  std::wstring text;
  for (const auto& [target, identity] : entries) text += target + kSeparator + identity + L"\n";
  WriteWholeFile(ParkedRecordPath(), WideToUtf8(text));
}

std::wstring Key(const std::wstring& target) { return ToLower(target); }
std::wstring Identity(const std::wstring& url, const std::wstring& version) { return url + kSeparator + version; }

}  // namespace

std::wstring ParkedRecordPath() { return CachedListStem() + L".parked"; }

bool IsParkedFor(const std::wstring& target, const std::wstring& url, const std::wstring& version) {
  std::lock_guard<std::mutex> hold(Guard());
  Entries entries = Read();
  auto it = entries.find(Key(target));
  return it != entries.end() && it->second == Identity(url, version);
}

void RememberParked(const std::wstring& target, const std::wstring& url, const std::wstring& version) {
  std::lock_guard<std::mutex> hold(Guard());
  Entries entries = Read();
  entries[Key(target)] = Identity(url, version);
  Write(entries);
}

void ForgetParked(const std::wstring& target) {
  std::lock_guard<std::mutex> hold(Guard());
  Entries entries = Read();
  if (entries.erase(Key(target))) Write(entries);
}

}  // namespace tarvolin
