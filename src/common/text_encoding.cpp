#include "common/text_encoding.h"

#include <windows.h>

namespace tarvolin {

std::wstring CodePageToWide(std::string_view bytes, unsigned code_page) {
  if (bytes.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

namespace {
std::string WideToCodePage(std::wstring_view text, unsigned code_page) {
  if (text.empty()) return std::string();
  int n = ::WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}
}  // namespace

std::wstring AnsiToWide(std::string_view bytes) { return CodePageToWide(bytes, CP_THREAD_ACP); }
// Characters the code page cannot hold become the code page's default character.
std::string WideToAnsi(std::wstring_view text) { return WideToCodePage(text, CP_THREAD_ACP); }
std::wstring Utf8ToWide(std::string_view bytes) { return CodePageToWide(bytes, CP_UTF8); }
std::string WideToUtf8(std::wstring_view text) { return WideToCodePage(text, CP_UTF8); }

}  // namespace tarvolin
