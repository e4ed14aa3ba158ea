#include "config/default_setting.h"

namespace tarvolin {

std::wstring ReadDefaultSetting(const std::wstring& text, const std::wstring& section, const std::wstring& key) {
  std::size_t header = text.find(L"[" + section + L"]");
  if (header == std::wstring::npos) return std::wstring();
  std::size_t from = header + section.size() + 2;

  const std::wstring wanted = key + L"=";
  std::size_t line = std::wstring::npos;
  for (std::size_t pos = text.find(wanted, from); pos != std::wstring::npos; pos = text.find(wanted, pos + 1)) {
    if (pos == 0 || text[pos - 1] == L'\n') {
      line = pos;
      break;
    }
  }
  if (line == std::wstring::npos) return std::wstring();

  std::size_t value_begin = line + wanted.size();
  std::size_t feed = text.find(L'\n', value_begin);
  if (feed == std::wstring::npos) return text.substr(value_begin);
  // In CR LF text the character before the line feed is the CR, which is not
  // part of the value. A bare LF line keeps its last character.
  std::size_t value_end = feed;
  if (value_end > value_begin && text[value_end - 1] == L'\r') --value_end;
  return text.substr(value_begin, value_end - value_begin);
}

}  // namespace tarvolin
