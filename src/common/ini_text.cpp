#include "common/ini_text.h"

#include <windows.h>

#include "common/text_encoding.h"

namespace tarvolin {
namespace {

// What one read returns at most: the settings layer reads into 1000 characters.
constexpr std::size_t kLongestValue = 999;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring Unquoted(std::wstring value) {
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  if (value.size() > kLongestValue) value.resize(kLongestValue);
  return value;
}

}  // namespace

IniText IniText::FromBytes(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return FromText(text);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return FromText(Utf8ToWide(bytes.substr(3)));
  return FromText(AnsiToWide(bytes));
}

IniText IniText::FromText(std::wstring_view text) {
  IniText ini;
  // Lines above the first section header belong to no section a name can reach.
  ini.sections_.push_back({});
  while (!text.empty()) {
    const std::size_t feed = text.find(L'\n');
    std::wstring_view line = Trimmed(text.substr(0, feed));
    text = feed == std::wstring_view::npos ? std::wstring_view() : text.substr(feed + 1);
    if (line.empty()) continue;
    if (line.front() == L'[') {
      const std::size_t close = line.rfind(L']');
      std::wstring_view name = close == std::wstring_view::npos || close == 0 ? line.substr(1) : line.substr(1, close - 1);
      ini.sections_.push_back({std::wstring(Trimmed(name)), {}});
      continue;
    }
    const std::size_t equals = line.find(L'=');
    Entry entry{std::wstring(Trimmed(line.substr(0, equals))), std::wstring()};
    if (equals != std::wstring_view::npos) entry.value = std::wstring(Trimmed(line.substr(equals + 1)));
    ini.sections_.back().entries.push_back(std::move(entry));
  }
  return ini;
}

std::wstring IniText::Read(const std::wstring& section, const std::wstring& key) const {
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    if (!SameName(sections_[i].name, section)) continue;
    for (const Entry& entry : sections_[i].entries) {
      if (SameName(entry.key, key)) return Unquoted(entry.value);
    }
    return std::wstring();  // only the first section of a name is read
  }
  return std::wstring();
}

}  // namespace tarvolin
