#include "config/translation_table.h"

#include <gtest/gtest.h>

#include <string>

#include "common/text_encoding.h"

namespace tarvolin {
namespace {

using namespace std::string_literals;

CLanguage Parse(std::string_view text) {
  CLanguage table;
  table.Merge(text, Utf8ToWide);
  return table;
}

TEST(TranslationFormat, LineRules) {
  struct Case {
    const char* what;
    std::string text;
    const wchar_t* section;
    const wchar_t* lookup;
    const wchar_t* expected;
  } cases[] = {
      {"plain entry", "[MAIN]\nCancel=Abbrechen\n", L"MAIN", L"Cancel", L"Abbrechen"},
      {"CR LF line ends", "[MAIN]\r\nCancel=Abbrechen\r\nExit=Ende\r\n", L"MAIN", L"Exit", L"Ende"},
      {"last line without line end", "[MAIN]\nCancel=Abbrechen", L"MAIN", L"Cancel", L"Abbrechen"},
      {"blanks around = stay in the key", "[MAIN]\nCancel = Abbrechen\n", L"MAIN", L"Cancel", L"Cancel"},
      {"blanks around = stay in the value", "[MAIN]\nCancel = Abbrechen\n", L"MAIN", L"Cancel ", L" Abbrechen"},
      {"left blanks are kept", "[MAIN]\n  Run=Start\n", L"MAIN", L"  Run", L"Start"},
      {"right blanks are trimmed", "[MAIN]\nRun=Start \t \r\n", L"MAIN", L"Run", L"Start"},
      {"three characters are too short", "[MAIN]\na=b\n", L"MAIN", L"a", L"a"},
      {"four characters make a two-character key", "[MAIN]\nab=c\n", L"MAIN", L"ab", L"c"},
      {"semicolon comment", "[MAIN]\n;Run=Start\n", L"MAIN", L";Run", L";Run"},
      {"apostrophe comment", "[MAIN]\n'Run=Start\n", L"MAIN", L"'Run", L"'Run"},
      {"double slash comment", "[MAIN]\n//Run=Start\n", L"MAIN", L"//Run", L"//Run"},
      {"double backslash comment", "[MAIN]\n\\\\Run=Start\n", L"MAIN", L"\\\\Run", L"\\\\Run"},
      {"one slash is no comment", "[MAIN]\n/Run=Start\n", L"MAIN", L"/Run", L"Start"},
      {"entries before any section are ignored", "Run=Start\n[MAIN]\n", L"MAIN", L"Run", L"Run"},
      {"split at the first =", "[MAIN]\nRun=a=b\n", L"MAIN", L"Run", L"a=b"},
      {"a line without = is ignored", "[MAIN]\nRunStart\nExit=Ende\n", L"MAIN", L"RunStart", L"RunStart"},
      {"empty value shows the English text", "[MAIN]\nRun=\n", L"MAIN", L"Run", L"Run"},
      {"empty key is not an entry", "[MAIN]\n=Start\n", L"MAIN", L"", L""},
      {"backslash-n in the key is a line feed", "[MAIN]\nRestart\\nnow?=Neu\\nstarten?\n", L"MAIN",
       L"Restart\nnow?", L"Neu\nstarten?"},
      {"backslash-t is a tab", "[MAIN]\nName\\tValue=N\\tW\n", L"MAIN", L"Name\tValue", L"N\tW"},
      {"keys are case-sensitive", "[MAIN]\nRun=Start\n", L"MAIN", L"run", L"run"},
      {"section names are case-sensitive", "[main]\nRun=Start\n", L"MAIN", L"Run", L"Run"},
      {"a header needs both brackets", "[MAIN\nRun=Start\n", L"MAIN", L"Run", L"Run"},
      {"a header ends the previous section", "[MAIN]\n[TRYICON]\nRun=Start\n", L"MAIN", L"Run", L"Run"},
      {"sections keep their own entries", "[TRYICON]\nUpdate after %d seconds.=in %d s\n", L"MAIN",
       L"Update after %d seconds.", L"Update after %d seconds."},
      {"a NUL byte ends the line", "[MAIN]\nRun=Start\0Exit=Ende\n"s, L"MAIN", L"Exit", L"Ende"},
      {"text before a NUL byte stays whole", "[MAIN]\nRun=Start\0Exit=Ende\n"s, L"MAIN", L"Run",
       L"Start"},
      {"UTF-8 text through the decoder", "[MAIN]\nCancel=\xE5\x8F\x96\xE6\xB6\x88\n", L"MAIN", L"Cancel", L"\u53D6\u6D88"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.text).Translate(c.section, c.lookup), c.expected) << c.what;
  }
}

TEST(TranslationFormat, UnknownSectionOrKeyGivesTextBack) {
  CLanguage table = Parse("[MAIN]\nCancel=Abbrechen\n");
  EXPECT_EQ(table.Translate(L"TRYICON", L"Cancel"), L"Cancel");
  EXPECT_EQ(table.Translate(L"MAIN", L"Exit"), L"Exit");
  EXPECT_EQ(CLanguage().Translate(L"MAIN", L"Cancel"), L"Cancel");
}

TEST(TranslationFormat, HeadersCreateSectionsEvenWhenEmpty) {
  CLanguage table = Parse("[MAIN]\n[TRYICON]\nCancel=Abbrechen\n");
  ASSERT_NE(table.FindSection(L"MAIN"), nullptr);
  EXPECT_TRUE(table.FindSection(L"MAIN")->empty());
  ASSERT_NE(table.FindSection(L"TRYICON"), nullptr);
  EXPECT_EQ(table.FindSection(L"TRYICON")->size(), 1u);
  EXPECT_EQ(table.FindSection(L"OTHER"), nullptr);
}

TEST(TranslationFormat, ReturningToASectionAddsToIt) {
  CLanguage table = Parse("[MAIN]\nCancel=Abbrechen\n[TRYICON]\nCancel=Nein\n[MAIN]\nExit=Ende\n");
  EXPECT_EQ(table.Translate(L"MAIN", L"Cancel"), L"Abbrechen");
  EXPECT_EQ(table.Translate(L"MAIN", L"Exit"), L"Ende");
  EXPECT_EQ(table.Translate(L"TRYICON", L"Cancel"), L"Nein");
}

TEST(TranslationFormat, LaterLoadReplacesOnlyRepeatedKeys) {
  CLanguage table;
  table.Merge("[MAIN]\nCancel=Abbrechen\nExit=Ende\n[TRYICON]\nUpdate=Jetzt\n", Utf8ToWide);
  table.Merge("[MAIN]\nExit=Beenden\nNext=Weiter\n", Utf8ToWide);
  EXPECT_EQ(table.Translate(L"MAIN", L"Cancel"), L"Abbrechen");
  EXPECT_EQ(table.Translate(L"MAIN", L"Exit"), L"Beenden");
  EXPECT_EQ(table.Translate(L"MAIN", L"Next"), L"Weiter");
  EXPECT_EQ(table.Translate(L"TRYICON", L"Update"), L"Jetzt");
}

TEST(TranslationFormat, LongLinesAreCutAfter1024Bytes) {
  // The first 1024 bytes form one entry; the rest is read as a line of its own.
  const std::string key(1020, 'k');
  CLanguage table = Parse("[MAIN]\n" + key + "=abcdNext=Weiter\n");
  EXPECT_EQ(table.Translate(L"MAIN", std::wstring(key.begin(), key.end())), L"abc");
  EXPECT_EQ(table.Translate(L"MAIN", L"dNext"), L"Weiter");

  // A line of exactly 1024 bytes does not swallow the line after it.
  const std::string exact = key + "=abc";
  ASSERT_EQ(exact.size(), kTranslationLineBytes);
  CLanguage exact_table = Parse("[MAIN]\n" + exact + "\nExit=Ende\n");
  EXPECT_EQ(exact_table.Translate(L"MAIN", std::wstring(key.begin(), key.end())), L"abc");
  EXPECT_EQ(exact_table.Translate(L"MAIN", L"Exit"), L"Ende");
}

TEST(TranslationFormat, SplitLinesKeepsBytesAndDropsOneCarriageReturn) {
  auto lines = SplitTranslationLines("ab\r\ncd\r\r\n\nef");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "ab");
  EXPECT_EQ(lines[1], "cd\r");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "ef");

  EXPECT_TRUE(SplitTranslationLines("").empty());
  auto long_lines = SplitTranslationLines(std::string(2 * kTranslationLineBytes + 3, 'x'));
  ASSERT_EQ(long_lines.size(), 3u);
  EXPECT_EQ(long_lines[0].size(), kTranslationLineBytes);
  EXPECT_EQ(long_lines[1].size(), kTranslationLineBytes);
  EXPECT_EQ(long_lines[2].size(), 3u);
}

TEST(TranslationFormat, MalformedInputDoesNotBreakTheTable) {
  // Stray bytes, a lone bracket, an unterminated header: all skipped quietly.
  CLanguage table = Parse("\xFF\xFE[\n]\n[MAIN\n[]]\n\x80\x81=\x82\n\0\0[MAIN]\nExit=Ende\n"s);
  EXPECT_EQ(table.Translate(L"MAIN", L"Exit"), L"Ende");
}

TEST(StartupTranslationChoice, NamesSelectTablesAndFiles) {
  const std::wstring folder = L"C:\\books\\one\\";
  struct Case {
    const wchar_t* langage;
    const wchar_t* language;
    int resource_id;
    const wchar_t* file;
  } cases[] = {
      {L"tarvolincn.lan", L"", 150, L""},
      {L"TarvolinCN.LAN", L"", 150, L""},
      {L"", L"tarvolinbig.lan", 147, L""},
      {L"german.lan", L"tarvolincn.lan", 0, L"C:\\books\\one\\german.lan"},
      {L"", L"German.Lan", 0, L"C:\\books\\one\\german.lan"},
      {L"", L"", 0, L"C:\\books\\one\\"},
      {L"sub\\\\x.lan", L"", 0, L"C:\\books\\one\\sub\\x.lan"},
  };
  for (const auto& c : cases) {
    StartupTranslationPlan plan = PlanStartupTranslation(c.langage, c.language, folder, L"mybook");
    EXPECT_EQ(plan.resource_id, c.resource_id) << c.langage << L"|" << c.language;
    EXPECT_EQ(plan.file, c.file) << c.langage << L"|" << c.language;
    EXPECT_EQ(plan.overlay_file, L"C:\\books\\one\\mybook.lan");
  }
}

}  // namespace
}  // namespace tarvolin
