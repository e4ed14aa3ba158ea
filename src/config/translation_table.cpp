#include "config/translation_table.h"

#include "common/strings.h"
#include "resource_ids.h"

namespace tarvolin {
namespace {

// Lines this short cannot hold a useful "key=value" pair; the format skips them.
constexpr std::size_t kShortestUsefulLine = 4;

bool IsCommentOrShort(const std::wstring& line) {
  if (line.size() < kShortestUsefulLine) return true;
  return line[0] == L';' || line[0] == L'\'' || StartsWith(line, L"//") || StartsWith(line, L"\\\\");
}

bool IsSectionHeader(const std::wstring& line) { return line.front() == L'[' && line.back() == L']'; }

std::wstring ExpandEscapes(std::wstring line) {
  // Keys must match the program's literals, which hold real tabs and line feeds.
  line = ReplaceAll(std::move(line), L"\\t", L"\t");
  return ReplaceAll(std::move(line), L"\\n", L"\n");
}

}  // namespace

std::vector<std::string_view> SplitTranslationLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t begin = pos;
    while (pos < bytes.size() && pos - begin < kTranslationLineBytes && bytes[pos] != '\n' && bytes[pos] != '\0') {
      ++pos;
    }
    std::string_view line = bytes.substr(begin, pos - begin);
    // A full buffer leaves the next byte, terminator or not, to the next line.
    if (pos < bytes.size() && line.size() < kTranslationLineBytes) ++pos;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

void CLanguage::Merge(std::string_view bytes, ByteDecoder decode) {
  SectionTable* current = nullptr;
  for (std::string_view raw : SplitTranslationLines(bytes)) {
    std::wstring line = TrimRight(decode(raw));
    if (IsCommentOrShort(line)) continue;
    if (IsSectionHeader(line)) {
      current = &AddSection(line.substr(1, line.size() - 2));
      continue;
    }
    if (!current) continue;

    line = ExpandEscapes(std::move(line));
    const std::size_t equals = line.find(L'=');
    // An empty key would "translate" every caption-less control into its value.
    if (equals == std::wstring::npos || equals == 0) continue;
    (*current)[line.substr(0, equals)] = line.substr(equals + 1);
  }
}

std::wstring CLanguage::Translate(std::wstring_view section, const std::wstring& text) const {
  const SectionTable* table = FindSection(section);
  if (!table) return text;
  auto entry = table->find(text);
  if (entry == table->end() || entry->second.empty()) return text;
  return entry->second;
}

const CLanguage::SectionTable* CLanguage::FindSection(std::wstring_view section) const {
  auto found = sections_.find(section);
  return found == sections_.end() ? nullptr : &found->second;
}

CLanguage::SectionTable& CLanguage::AddSection(const std::wstring& section) { return sections_[section]; }

void CLanguage::Set(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  AddSection(section)[key] = value;
}

StartupTranslationPlan PlanStartupTranslation(const std::wstring& langage, const std::wstring& language,
                                              const std::wstring& configuration_folder,
                                              const std::wstring& exe_base_name) {
  StartupTranslationPlan plan;
  const std::wstring name = ToLower(langage.empty() ? language : langage);
  if (name == kSimplifiedChineseTableName) {
    plan.resource_id = IDR_TRANSLATION_SIMPLIFIED_CHINESE;
  } else if (name == kTraditionalChineseTableName) {
    plan.resource_id = IDR_TRANSLATION_TRADITIONAL_CHINESE;
  } else {
    plan.file = CollapseBackslashes(configuration_folder + L"\\" + name);
  }
  plan.overlay_file = CollapseBackslashes(configuration_folder + L"\\" + exe_base_name + kTranslationFileExtension);
  return plan;
}

}  // namespace tarvolin
