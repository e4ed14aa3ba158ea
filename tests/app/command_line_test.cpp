#include "app/command_line.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvolin {
namespace {

TEST(CommandLine, CleaningLowersUnquotesAndRemovesOwnPath) {
  const std::wstring own = L"C:\\Brennoak\\Vosmir\\BOOK\\\\Tarvolin.exe";
  EXPECT_EQ(CleanCommandLine(L"\"C:\\Brennoak\\Vosmir\\BOOK\\Tarvolin.exe\" /CheckForUpdates ", own),
            L"/checkforupdates");
  EXPECT_EQ(CleanCommandLine(L"  \"D:\\other\\tarvolin.exe\"  silence", own), L"d:\\other\\tarvolin.exe  silence");
  EXPECT_EQ(CleanCommandLine(L"", own), L"");
}

TEST(CommandLine, TokensSplitAtDashSlashAndBlank) {
  auto tokens = CommandLineTokens(L"a-b/c d,,e");
  std::vector<std::wstring> expected{L"a", L"b", L"c", L"d", L"", L"e"};
  EXPECT_EQ(tokens, expected);
}

TEST(CommandLine, DotNetSwitchOnlyBehindAnotherCharacter) {
  struct Case {
    const wchar_t* line;
    const wchar_t* version;  // nullptr: no switch
  } cases[] = {
      {L"dotnet20", nullptr},        // the very first word
      {L"/dotnet20", L"2.0"},
      {L"-dotnet35", L"3.5"},
      {L"x dotnet40", L"4.0"},
      {L"/dotnet10 /dotnet40", L"1.0"},  // tested in table order
      {L"/dotnet45", nullptr},
      {L"silence", nullptr},
  };
  for (const auto& c : cases) {
    auto found = FindDotNetSwitch(c.line);
    if (c.version) {
      ASSERT_TRUE(found.has_value()) << c.line;
      EXPECT_EQ(*found, c.version) << c.line;
    } else {
      EXPECT_FALSE(found.has_value()) << c.line;
    }
  }
}

TEST(CommandLine, ModeDecision) {
  const std::set<std::uintptr_t> windows{1234, 777};
  auto is_window = [&](std::uintptr_t v) { return windows.count(v) != 0; };
  // One more than the largest handle, plus 777: wrapped around, it would name window 777.
  const wchar_t* wraps_to_777 = sizeof(std::uintptr_t) == 8 ? L"18446744073709552393" : L"4294968073";
  struct Case {
    const wchar_t* cleaned;  // as CleanCommandLine leaves it (lower case)
    const wchar_t* configured;
    const wchar_t* mode;
    std::uintptr_t host;
  } cases[] = {
      {L"", L"AppEnterNoPrompt", L"appenternoprompt", 0},   // configured mode, lower-cased
      {L"/checkforupdates", L"AppEnter", L"checkforupdates", 0},
      {L"-icon", L"", L"tryicon", 0},                       // dash separates, icon means the tray
      {L"/showwhenhaveupdate", L"", L"showwhenupdate", 0},
      {L"silence tryicon", L"", L"tryicon", 0},             // a later word wins
      {L"/silencex", L" Mostsimple ", L"mostsimple", 0},    // not an exact word: configured mode, trimmed
      {L"silence 1234", L"", L"silence", 1234},
      {L"silence 5555", L"", L"silence", 0},                // a number that is no window
      {L"1234 777", L"", L"", 777},                         // the last window wins
      {L"12a34", L"", L"", 0},
      {wraps_to_777, L"", L"", 0},                          // too large for a handle: no window
  };
  for (const auto& c : cases) {
    ModeDecision d = DecideMode(CommandLineTokens(c.cleaned), c.configured, is_window);
    EXPECT_EQ(d.mode, c.mode) << c.cleaned;
    EXPECT_EQ(d.host_window, c.host) << c.cleaned;
  }
}

}  // namespace
}  // namespace tarvolin
