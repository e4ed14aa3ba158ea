#include "common/strings.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(Strings, CollapseBackslashesIsOnePassLeftToRight) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\\\a\\b", L"C:\\a\\b"},
      {L"a\\\\\\b", L"a\\\\b"},  // three become two: one pass, as the path rules expect
      {L"\\\\\\\\", L"\\\\"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(CollapseBackslashes(c.in), c.out) << c.in;
}

TEST(Strings, ParseDecimalStopsAtFirstNonDigit) {
  EXPECT_EQ(ParseDecimal(L"300"), 300);
  EXPECT_EQ(ParseDecimal(L"  12ab"), 12);
  EXPECT_EQ(ParseDecimal(L"abc"), 0);
  EXPECT_EQ(ParseDecimal(L"-5"), -5);
  EXPECT_EQ(ParseDecimal(L""), 0);
}

TEST(Strings, SplitKeepsEmptyPieces) {
  auto parts = Split(L",a,,b", L',');
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[0], L"");
  EXPECT_EQ(parts[1], L"a");
  EXPECT_EQ(parts[2], L"");
  EXPECT_EQ(parts[3], L"b");
}

TEST(Strings, FormatWideGrowsForLongText) {
  std::wstring long_text(1000, L'x');
  EXPECT_EQ(FormatWide(L"<%ls>%d", long_text.c_str(), 7), L"<" + long_text + L">7");
}

TEST(Strings, PlaceholdersAreFilledInOrderAndNeverFormatted) {
  EXPECT_EQ(FormatPlaceholders(L"Error %d files,complete %d/%d", {L"2", L"8", L"10"}), L"Error 2 files,complete 8/10");
  EXPECT_EQ(FormatPlaceholders(L"done[%s]", {L"C:\\a%d.txt"}), L"done[C:\\a%d.txt]");  // values are not re-read
  EXPECT_EQ(FormatPlaceholders(L"%s %s %s", {L"one"}), L"one %s %s");                  // too few values
  EXPECT_EQ(FormatPlaceholders(L"100% sure %x", {L"v"}), L"100% sure %x");             // other % texts stay
}

TEST(Strings, TextsOnlyPlaceholdersLeaveNumberPlaceholdersAsWritten) {
  constexpr auto kTexts = Placeholders::kTextsOnly;
  EXPECT_EQ(FormatPlaceholders(L"Write ini[%s][%s][%s]", {L"a.ini", L"k", L"v"}, kTexts), L"Write ini[a.ini][k][v]");
  EXPECT_EQ(FormatPlaceholders(L"x%s", {L"%s%n%d"}, kTexts), L"x%s%n%d");
  EXPECT_EQ(FormatPlaceholders(L"[%s][%s]", {L"one"}, kTexts), L"[one][%s]");
  EXPECT_EQ(FormatPlaceholders(L"[%s]", {L"one", L"two"}, kTexts), L"[one]");
  EXPECT_EQ(FormatPlaceholders(L"%d %ls 100%", {L"x"}, kTexts), L"%d %ls 100%");
  EXPECT_EQ(FormatPlaceholders(L"%s%s", {L"a", L"b"}, kTexts), L"ab");
  EXPECT_EQ(FormatPlaceholders(L"%d[%s]", {L"x"}, kTexts), L"%d[x]");
}

}  // namespace
}  // namespace tarvolin
