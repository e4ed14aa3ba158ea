#include "app/command_line.h"

#include <array>
#include <limits>
#include <utility>

#include "common/strings.h"

namespace tarvolin {

std::wstring CleanCommandLine(const std::wstring& raw, const std::wstring& own_exe_path) {
  std::wstring cleaned = RemoveAll(ToLower(raw), L"\"");
  std::wstring own = ToLower(CollapseBackslashes(own_exe_path));
  if (!own.empty()) cleaned = RemoveAll(cleaned, own);
  return Trim(cleaned);
}

std::vector<std::wstring> CommandLineTokens(const std::wstring& cleaned) {
  std::wstring separated = cleaned;
  for (auto& c : separated) {
    if (c == L'-' || c == L'/' || c == L' ') c = L',';
  }
  std::vector<std::wstring> tokens;
  for (auto& piece : Split(separated, L',')) tokens.push_back(Trim(piece));
  return tokens;
}

std::optional<std::wstring> FindDotNetSwitch(const std::wstring& cleaned) {
  static constexpr std::array<std::pair<const wchar_t*, const wchar_t*>, 6> kSwitches{{
      {L"dotnet10", L"1.0"},
      {L"dotnet11", L"1.1"},
      {L"dotnet20", L"2.0"},
      {L"dotnet30", L"3.0"},
      {L"dotnet35", L"3.5"},
      {L"dotnet40", L"4.0"},
  }};
  for (const auto& [word, version] : kSwitches) {
    // Only the first occurrence decides: at position 0 the switch is not taken.
    std::size_t pos = cleaned.find(word);
    if (pos != std::wstring::npos && pos > 0) return std::wstring(version);
  }
  return std::nullopt;
}

namespace {

std::optional<std::wstring> ModeForWord(const std::wstring& word) {
  static constexpr std::array<std::pair<const wchar_t*, const wchar_t*>, 13> kModeWords{{
      {L"mostsimple", L"mostsimple"},
      {L"showwhenhaveupdate", L"showwhenupdate"},
      {L"showwhenupdate", L"showwhenupdate"},
      {L"tryicon", L"tryicon"},
      {L"icon", L"tryicon"},
      {L"emptytemp", L"emptytemp"},
      {L"uninstall", L"uninstall"},
      {L"silence", L"silence"},
      {L"appenter", L"appenter"},
      {L"appenternoprompt", L"appenternoprompt"},
      {L"downparam0", L"downparam0"},
      {L"downparam1", L"downparam1"},
      {L"checkforupdates", L"checkforupdates"},
  }};
  const wchar_t* mode = LookUp(kModeWords, word, static_cast<const wchar_t*>(nullptr));
  return mode ? std::optional<std::wstring>(mode) : std::nullopt;
}

std::optional<std::uintptr_t> DecimalToken(const std::wstring& token) {
  if (token.empty() || token.size() > 20) return std::nullopt;
  constexpr std::uintptr_t kLargest = std::numeric_limits<std::uintptr_t>::max();
  std::uintptr_t value = 0;
  for (wchar_t c : token) {
    if (c < L'0' || c > L'9') return std::nullopt;
    const auto digit = static_cast<std::uintptr_t>(c - L'0');
    // A number too large for a handle names no window; wrapped around, it could name one.
    if (value > (kLargest - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

ModeDecision DecideMode(const std::vector<std::wstring>& tokens, const std::wstring& configured_mode,
                        const std::function<bool(std::uintptr_t)>& is_window) {
  ModeDecision decision;
  decision.mode = configured_mode;
  for (const auto& token : tokens) {
    if (token.empty()) continue;
    if (auto mode = ModeForWord(ToLower(token))) decision.mode = *mode;
    if (auto number = DecimalToken(token); number && *number != 0 && is_window(*number)) decision.host_window = *number;
  }
  decision.mode = Trim(ToLower(decision.mode));
  return decision;
}

}  // namespace tarvolin
