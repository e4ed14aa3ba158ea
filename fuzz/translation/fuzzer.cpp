// The ".lan" translation parser. The first byte picks the decoder the program
// would use: odd for a translation file (ANSI code page), even for a built-in
// table (UTF-8). Every translated text then goes through the placeholder
// filler, as the program does with them.
#include "support/fuzz_input.h"
#include "common/strings.h"
#include "config/translation_table.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {

std::wstring DecodeAnsi(std::string_view bytes) { return AnsiToUnits(bytes); }
std::wstring DecodeUtf8(std::string_view bytes) { return Utf8ToUnits(bytes); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ByteDecoder decode = (data[0] & 1) ? DecodeAnsi : DecodeUtf8;
  const std::string_view bytes = Bytes(data + 1, size - 1);

  std::size_t total = 0;
  for (std::string_view line : SplitTranslationLines(bytes)) {
    FUZZ_CHECK(line.size() <= kTranslationLineBytes);
    FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    total += line.size();
  }
  FUZZ_CHECK(total <= bytes.size());

  CLanguage table;
  table.Merge(bytes, decode);

  for (const wchar_t* section : {translation_sections::kMain, translation_sections::kTrayIcon}) {
    const CLanguage::SectionTable* entries = table.FindSection(section);
    if (!entries) continue;
    for (const auto& [key, value] : *entries) {
      FUZZ_CHECK(!key.empty());
      const std::wstring translated = table.Translate(section, key);
      FUZZ_CHECK(value.empty() ? translated == key : translated == value);
      FormatPlaceholders(translated, {L"1", L"name"});
      FormatPlaceholders(translated, {L"name"}, Placeholders::kTextsOnly);
    }
  }
  return 0;
}
