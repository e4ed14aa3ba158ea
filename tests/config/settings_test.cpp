#include "config/settings.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "config/default_configuration.h"
#include "support/configuration_fixture.h"

namespace tarvolin {
namespace {

using testing::WriteTextFile;

class SettingsTest : public ::testing::Test {
 protected:
  void WriteIni(const std::wstring& text) { folder_.WriteIni(text); }
  testing::ScopedConfigurationFolder folder_;
};

TEST(SettingBool, FollowsTheTrueRule) {
  struct Case {
    const wchar_t* value;
    bool expected;
  } cases[] = {
      {L"true", true}, {L"Yes", true},  {L"1", true},      {L"10", true},  {L"  TRUE  ", true},
      {L"y", true},    {L"false", false}, {L"no", false},   {L"0", false},  {L"off", false},
      {L"", false},    {L"  ", false},   {L"on", false},   {L"2", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTrueSettingText(c.value), c.expected) << '"' << c.value << '"';
}

// A sealed configuration is the only one read: whatever the file says later
// (another program of the reader's may rewrite it) decides nothing.
TEST_F(SettingsTest, ASealedConfigurationIsReadInsteadOfTheFile) {
  WriteIni(L"[APPLICATION]\r\nName=from the file\r\n[UpdateEvent]\r\nUpdateEnd=evil.exe\r\n");
  SealConfiguration(std::make_shared<const IniText>(IniText::FromText(L"[APPLICATION]\r\nName=sealed\r\n")));
  const std::wstring name = ReadSetting(L"APPLICATION", L"Name");
  const std::wstring event = ReadSetting(L"UpdateEvent", L"UpdateEnd");
  SealConfiguration(nullptr);
  EXPECT_EQ(name, L"sealed");
  EXPECT_EQ(event, L"");
  RunParameters().Clear();
  EXPECT_EQ(ReadSetting(L"APPLICATION", L"Name"), L"from the file") << "unsealed, the file is read again";
}

TEST_F(SettingsTest, ReadsFileAndCachesUnderSectionPlusKey) {
  WriteIni(L"[APPLICATION]\r\nName=abc\r\n[Tarvolin]\r\nShowWhenCheck=Yes\r\n");
  EXPECT_EQ(ReadSetting(L"APPLICATION", L"Name"), L"abc");
  EXPECT_EQ(RunParameters().Get(L"APPLICATIONName"), L"abc");
  EXPECT_TRUE(ReadSettingBool(L"Tarvolin", L"ShowWhenCheck", L"0"));
  // A cached value holds even after the file changes.
  WriteIni(L"[APPLICATION]\r\nName=changed\r\n");
  EXPECT_EQ(ReadSetting(L"APPLICATION", L"Name"), L"abc");
}

TEST_F(SettingsTest, EmptyValueIsLookedUpAgainAndDefaultsApply) {
  WriteIni(L"[Tarvolin]\r\n");
  EXPECT_EQ(ReadSetting(L"Tarvolin", L"Log"), L"");
  EXPECT_EQ(ReadSettingOr(L"Tarvolin", L"ConnectTryCount", L"3"), L"3");
  EXPECT_TRUE(ReadSettingBool(L"Tarvolin", L"ShowWhenCheck", L"1"));
  WriteIni(L"[Tarvolin]\r\nLog=inst.log\r\n");
  EXPECT_EQ(ReadSetting(L"Tarvolin", L"Log"), L"inst.log");
}

TEST_F(SettingsTest, WrittenValueIsReadBackButFileStaysUnchanged) {
  WriteIni(L"[APPLICATION]\r\nVer=1.0\r\n");
  WriteSetting(L"APPLICATION", L"Ver", L"2.0");
  EXPECT_EQ(ReadSetting(L"APPLICATION", L"Ver"), L"2.0");
  EXPECT_EQ(ReadIniValue(ConfigurationFilePath(), L"APPLICATION", L"Ver"), L"1.0");
}

TEST_F(SettingsTest, CheckTimeAndListZipComeFromTheTemporaryFolderCopy) {
  WriteIni(L"[Tarvolin]\r\nOwerCheckTm=111\r\nListFileZip=1\r\nTempAppPath=0\r\nTempPath=tmp\r\n");
  EXPECT_EQ(ReadSetting(L"Tarvolin", L"OwerCheckTm"), L"");
  EXPECT_EQ(ReadSetting(L"Tarvolin", L"ListFileZip"), L"");
  CreateDirectoryW((folder_ / L"tmp").c_str(), nullptr);
  WriteTextFile(folder_ / L"tmp\\tarvolin.ini", L"[Tarvolin]\r\nOwerCheckTm=222\r\n");
  EXPECT_EQ(ReadSetting(L"Tarvolin", L"OwerCheckTm"), L"222");
}

TEST_F(SettingsTest, MainApplicationPathIsRelativeToTheConfigurationFolder) {
  WriteIni(L"[APPLICATION]\r\nApplication=book.exe\r\n");
  EXPECT_EQ(MainApplicationPath(), folder_.path() + L"\\book.exe");
  RunParameters().Clear();
  WriteIni(L"[APPLICATION]\r\nApplication=D:\\\\books\\book.exe\r\n");
  EXPECT_EQ(MainApplicationPath(), L"D:\\books\\book.exe");
  RunParameters().Clear();
  WriteIni(L"[APPLICATION]\r\n");
  EXPECT_EQ(MainApplicationPath(), L"");
}

TEST(DefaultSetting, FindsKeyAtLineStartAfterFirstSection) {
  const std::wstring text =
      L"[Tarvolin]\r\nName=wrong\r\n[APPLICATION]\r\nAgentName=zu\r\nName=abc\r\nEBookID=7\r\n"
      L"[APPLICATION]\r\nName=second\r\n";
  struct Case {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* expected;
  } cases[] = {
      {L"APPLICATION", L"Name", L"abc"},      // AgentName=zu comes first but is not at a line start
      {L"APPLICATION", L"AgentName", L"zu"},
      {L"APPLICATION", L"EBookID", L"7"},
      {L"Tarvolin", L"Name", L"wrong"},
      {L"application", L"Name", L""},        // sections are case-sensitive
      {L"APPLICATION", L"name", L""},        // keys too
      {L"APPLICATION", L"Missing", L""},
      {L"NoSuchSection", L"Name", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadDefaultSetting(text, c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST(DefaultSetting, LineEndings) {
  EXPECT_EQ(ReadDefaultSetting(L"[A]\r\nk=v1\r\n", L"A", L"k"), L"v1");
  EXPECT_EQ(ReadDefaultSetting(L"[A]\nk=v1\nx=2\n", L"A", L"k"), L"v1");  // a bare LF keeps the last character
  EXPECT_EQ(ReadDefaultSetting(L"[A]\r\nk=last", L"A", L"k"), L"last");    // no line feed: to the end
  EXPECT_EQ(ReadDefaultSetting(L"[A]\r\nk=\r\n", L"A", L"k"), L"");
  EXPECT_EQ(ReadDefaultSetting(L"", L"A", L"k"), L"");
}

}  // namespace
}  // namespace tarvolin
