// The translation table: English program texts as keys, translated texts as
// values, grouped by section, and the parser of the INI-like ".lan" format.
// No Windows headers here, so the parser can be compiled and tested natively.
//
// Thread affinity: filled on the main thread during start-up, then only read;
// concurrent readers need no lock because nothing writes any more.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

namespace translation_sections {
// Nearly every text of the program.
inline constexpr wchar_t kMain[] = L"MAIN";
// Texts of the tray window.
inline constexpr wchar_t kTrayIcon[] = L"TRYICON";
}  // namespace translation_sections

// Names in [Tarvolin] "Langage"/"Language" that select a built-in table.
inline constexpr wchar_t kSimplifiedChineseTableName[] = L"tarvolincn.lan";
inline constexpr wchar_t kTraditionalChineseTableName[] = L"tarvolinbig.lan";
inline constexpr wchar_t kTranslationFileExtension[] = L".lan";

// Longest line the reader keeps together; longer lines continue as the next line.
inline constexpr std::size_t kTranslationLineBytes = 1024;

// Turns the bytes of one line into UTF-16 (the ANSI code page for files,
// UTF-8 for the built-in tables).
using ByteDecoder = std::wstring (*)(std::string_view bytes);

class CLanguage {
 public:
  // Keys and values compare exactly (case-sensitive).
  using SectionTable = std::map<std::wstring, std::wstring>;

  // Parses a whole ".lan" text into this table. Entries merge with what is
  // already there; a repeated key takes the later value.
  void Merge(std::string_view bytes, ByteDecoder decode);

  // The value of `text` in `section` when it is there and not empty, else `text`.
  std::wstring Translate(std::wstring_view section, const std::wstring& text) const;

  const SectionTable* FindSection(std::wstring_view section) const;
  SectionTable& AddSection(const std::wstring& section);
  void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value);
  void Clear() { sections_.clear(); }
  bool Empty() const { return sections_.empty(); }

 private:
  std::map<std::wstring, SectionTable, std::less<>> sections_;
};

// The byte lines of a ".lan" text: each ends at LF, a NUL byte or the end of
// input, is cut after kTranslationLineBytes bytes (the rest becomes the next
// line), and loses one CR right before its end.
std::vector<std::string_view> SplitTranslationLines(std::string_view bytes);

// Which tables start-up loads, decided from the configured names alone.
struct StartupTranslationPlan {
  int resource_id = 0;        // a built-in table, or 0 for none
  std::wstring file;          // a translation file, or "" when a built-in table is used
  std::wstring overlay_file;  // always loaded last, on top of the others
};

// `langage` and `language` are [Tarvolin] "Langage" and "Language"; the first
// wins when not empty. The name is lower-cased; the two built-in names select
// a table, anything else (empty too) is a file in the configuration folder.
// The overlay is the executable's own ".lan" beside the configuration.
StartupTranslationPlan PlanStartupTranslation(const std::wstring& langage, const std::wstring& language,
                                              const std::wstring& configuration_folder,
                                              const std::wstring& exe_base_name);

}  // namespace tarvolin
