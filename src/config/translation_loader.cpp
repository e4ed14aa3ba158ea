#include "config/translation_loader.h"

#include <optional>
#include <string>
#include <string_view>

#include "common/files.h"
#include "common/process_state.h"
#include "common/text_encoding.h"
#include "config/settings.h"
#include "resource_ids.h"

namespace tarvolin {
namespace {

constexpr wchar_t kLanguageSettingPrimary[] = L"Langage";
constexpr wchar_t kLanguageSettingFallback[] = L"Language";

std::wstring WindowCaption(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
  int copied = ::GetWindowTextW(window, caption.data(), length + 1);
  caption.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return caption;
}

void TranslateCaption(HWND window, const std::wstring& section) {
  const std::wstring caption = WindowCaption(window);
  const std::wstring translated = Translate(section, caption);
  // Setting an unchanged caption would only cause a needless repaint.
  if (translated != caption) ::SetWindowTextW(window, translated.c_str());
}

}  // namespace

CLanguage& ProcessTranslationTable() {
  // Never destroyed: threads may still use it while the process ends.
  static CLanguage* table = new CLanguage;
  return *table;
}

bool LoadTranslationResource(int id) {
  HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"" TARVOLIN_TRANSLATION_TYPE);
  if (!info) return false;
  HGLOBAL loaded = ::LoadResource(nullptr, info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(nullptr, info);
  if (!data) return false;
  ProcessTranslationTable().Merge(std::string_view(static_cast<const char*>(data), size), Utf8ToWide);
  return true;
}

bool LoadTranslationFile(const std::wstring& path) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  ProcessTranslationTable().Merge(*bytes, AnsiToWide);
  return true;
}

std::wstring Translate(const std::wstring& section, const std::wstring& text) {
  return ProcessTranslationTable().Translate(section, text);
}

std::wstring Translate(const std::wstring& text) { return Translate(translation_sections::kMain, text); }

void TranslateWindow(HWND window, const std::wstring& section) {
  if (section.empty() || !window || !::IsWindow(window)) return;
  TranslateCaption(window, section);
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    TranslateCaption(child, section);
  }
}

void LoadStartupTranslation() {
  const StartupTranslationPlan plan =
      PlanStartupTranslation(ReadSetting(sections::kTarvolin, kLanguageSettingPrimary),
                             ReadSetting(sections::kTarvolin, kLanguageSettingFallback), ConfigurationFolder(),
                             ExeBaseName());
  if (plan.resource_id != 0) {
    LoadTranslationResource(plan.resource_id);
  } else {
    LoadTranslationFile(plan.file);
  }
  LoadTranslationFile(plan.overlay_file);
}

}  // namespace tarvolin
