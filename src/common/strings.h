// String rules shared by every subsystem. No Windows headers here, so the
// logic can be compiled and tested natively too.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

// Replaces every occurrence of `from` (non-empty) by `to`, scanning left to right.
std::wstring ReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to);
// Removes every occurrence of `what`.
std::wstring RemoveAll(std::wstring text, std::wstring_view what);
std::wstring ToLower(std::wstring text);
std::wstring Trim(std::wstring_view text);
std::wstring TrimRight(std::wstring_view text);
// Turns every "\\" into "\" in one left-to-right pass (a run of three becomes two).
std::wstring CollapseBackslashes(std::wstring text);
// Splits at every separator; empty pieces are kept.
std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator);
bool Contains(std::wstring_view text, std::wstring_view what);
bool StartsWith(std::wstring_view text, std::wstring_view prefix);
// Decimal conversion that stops at the first non-digit; non-numbers give 0.
long long ParseDecimal(std::wstring_view text);
// The value paired with `key` in a table of {key, value} pairs, or `missing`.
template <typename Table, typename Key, typename Value>
Value LookUp(const Table& table, const Key& key, Value missing) {
  for (const auto& [k, v] : table) {
    if (key == k) return v;
  }
  return missing;
}

// Which placeholders FormatPlaceholders fills: "%d" and "%s", or "%s" only (for
// texts whose every value is a name, so that a "%d" a translation carries
// stays as written).
enum class Placeholders { kNumbersAndTexts, kTextsOnly };

// Puts the values in place of the placeholders of a text, in order; extra
// values are ignored and placeholders without a value stay as they are. For
// translated texts: translations are data and never reach a printf-style
// formatter, so a translation with a wrong placeholder cannot crash us.
std::wstring FormatPlaceholders(std::wstring_view pattern, std::initializer_list<std::wstring> values,
                                Placeholders kinds = Placeholders::kNumbersAndTexts);

// printf-style formatting; use %ls for wide strings (portable across C runtimes).
std::wstring FormatWide(const wchar_t* format, ...);

}  // namespace tarvolin
