// An INI file's text held in memory, read by the rules the system's profile
// functions follow: for a configuration that, once checked, is never read from
// disk again (another program could rewrite the file in between).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

class IniText {
 public:
  IniText() = default;
  // The file's bytes: UTF-16 LE or UTF-8 after their byte-order marks, anything
  // else in the ANSI code page.
  static IniText FromBytes(std::string_view bytes);
  static IniText FromText(std::wstring_view text);

  // The value of `key` in the first section named `section`, names compared
  // case-insensitively: blanks around it trimmed, one pair of matching quotes
  // removed, at most 999 characters. Empty when there is none.
  std::wstring Read(const std::wstring& section, const std::wstring& key) const;

 private:
  struct Entry {
    std::wstring key;
    std::wstring value;
  };
  struct Section {
    std::wstring name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;
};

}  // namespace tarvolin
