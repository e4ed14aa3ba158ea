#include "common/strings.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>

namespace tarvolin {

std::wstring ReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to) {
  if (from.empty()) return text;
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::wstring::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

std::wstring RemoveAll(std::wstring text, std::wstring_view what) {
  return ReplaceAll(std::move(text), what, L"");
}

std::wstring ToLower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }
}  // namespace

std::wstring Trim(std::wstring_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

std::wstring TrimRight(std::wstring_view text) {
  std::size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return std::wstring(text.substr(0, end));
}

std::wstring CollapseBackslashes(std::wstring text) { return ReplaceAll(std::move(text), L"\\\\", L"\\"); }

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = text.find(separator, start);
    if (pos == std::wstring_view::npos) {
      parts.emplace_back(text.substr(start));
      return parts;
    }
    parts.emplace_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

bool Contains(std::wstring_view text, std::wstring_view what) { return text.find(what) != std::wstring_view::npos; }

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

long long ParseDecimal(std::wstring_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    if (value > (0x7FFFFFFFFFFFFFFFLL - 9) / 10) break;  // saturate instead of overflowing
    value = value * 10 + (text[i] - L'0');
  }
  return negative ? -value : value;
}

std::wstring FormatPlaceholders(std::wstring_view pattern, std::initializer_list<std::wstring> values,
                                Placeholders kinds) {
  std::wstring out;
  auto value = values.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t kind = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
    const bool filled = kind == L's' || (kind == L'd' && kinds == Placeholders::kNumbersAndTexts);
    const bool placeholder = pattern[i] == L'%' && filled && value != values.end();
    if (placeholder) {
      out += *value++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::wstring FormatWide(const wchar_t* format, ...) {
  // vswprintf reports "too small" as a negative result, so grow until it fits.
  std::wstring out(128, L'\0');
  for (;;) {
    va_list args;
    va_start(args, format);
    int written = std::vswprintf(out.data(), out.size(), format, args);
    va_end(args);
    if (written >= 0 && static_cast<std::size_t>(written) < out.size()) {
      out.resize(static_cast<std::size_t>(written));
      return out;
    }
    if (out.size() > (1u << 24)) return std::wstring();
    out.resize(out.size() * 2);
  }
}

}  // namespace tarvolin
