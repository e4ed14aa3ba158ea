// The command line rules: cleaning, tokens, the .NET switches and the mode words.
// Pure text logic, so tests can drive it with tables.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvolin {

inline constexpr wchar_t kElevatedMarker[] = L"___runas_admin___";

// Lower-cased, quotes removed, the program's own path (own_exe_path, compared
// lower-cased) removed, trimmed.
std::wstring CleanCommandLine(const std::wstring& raw, const std::wstring& own_exe_path);

// "-", "/" and " " separate tokens; every token is trimmed.
std::vector<std::wstring> CommandLineTokens(const std::wstring& cleaned);

// The .NET version a switch on the cleaned line asks to install ("1.0" ... "4.0").
// A switch counts only behind some other character, never as the very first word.
std::optional<std::wstring> FindDotNetSwitch(const std::wstring& cleaned);

struct ModeDecision {
  std::wstring mode;          // lower-cased and trimmed
  std::uintptr_t host_window = 0;
};

// Mode words override the configured mode (a later word wins); a numeric token
// naming an existing window becomes the host window (the last one wins).
ModeDecision DecideMode(const std::vector<std::wstring>& tokens, const std::wstring& configured_mode,
                        const std::function<bool(std::uintptr_t)>& is_window);

}  // namespace tarvolin
