#include "config/log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "config/settings.h"
#include "support/configuration_fixture.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::ReadTextFile;

TEST(LogLine, Format) {
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 7;
  t.wHour = 9;
  t.wMinute = 5;
  t.wSecond = 1;
  EXPECT_EQ(FormatLogLine(t, L"hello"), L"[2026-03-07 09:05:01]hello\r\n");
}

class LogTest : public ::testing::Test {
 protected:
  testing::ScopedConfigurationFolder folder_;
};

TEST_F(LogTest, AppendsTimeStampedLinesToTheConfiguredFile) {
  WriteSetting(L"Tarvolin", L"Log", L"run.log");
  WriteLog(L"first");
  WriteLog(L"second");
  std::wstring content = ReadTextFile(folder_ / L"run.log");
  auto lines = Split(content, L'\n');
  ASSERT_EQ(lines.size(), 3u) << content;
  for (int i = 0; i < 2; ++i) {
    ASSERT_GE(lines[i].size(), 22u);
    EXPECT_EQ(lines[i][0], L'[');
    EXPECT_EQ(lines[i][20], L']');
    EXPECT_EQ(lines[i].back(), L'\r');
  }
  EXPECT_EQ(lines[0].substr(21), L"first\r");
  EXPECT_EQ(lines[1].substr(21), L"second\r");
  EXPECT_EQ(lines[2], L"");
}

TEST_F(LogTest, NoFileWithoutLogName) {
  WriteLog(L"nowhere");
  EXPECT_EQ(ReadTextFile(folder_ / L"inst.log"), L"");
}

// A log name that could reach outside the configuration folder, or name a
// program or device, writes to the default log there instead, and says so once.
TEST_F(LogTest, ALogNameThatIsNotABareFileNameWritesTheDefaultLog) {
  // The configuration folder is one level down, so that an escape stays inside the test's folder.
  const std::wstring inner = folder_ / L"inner";
  CreateDirectoryW(inner.c_str(), nullptr);
  CreateDirectoryW((inner + L"\\logs").c_str(), nullptr);
  struct Case {
    const wchar_t* name;
    const wchar_t* would_be;  // where the name leads, from the configuration folder
  } cases[] = {
      {L"logs\\inst.log", L"logs\\inst.log"},
      {L"..\\escaped.log", L"..\\escaped.log"},
      {L"../escaped2.log", L"..\\escaped2.log"},
      {L"inst.log:hidden", nullptr},
      {L"NUL", nullptr},
  };
  const std::wstring outer_folder = StoredConfigurationFolder();
  for (const auto& c : cases) {
    RunParameters().Clear();
    SetConfigurationFolder(inner + L"\\");
    WriteSetting(L"Tarvolin", L"Log", c.name);
    WriteLog(L"first");
    WriteLog(L"second");
    const std::wstring content = ReadTextFile(inner + L"\\inst.log");
    auto lines = Split(content, L'\n');
    ASSERT_EQ(lines.size(), 4u) << c.name << ": " << content;
    EXPECT_TRUE(Contains(lines[0], L"is not a bare file name")) << c.name << ": " << lines[0];
    EXPECT_TRUE(Contains(lines[0], c.name)) << lines[0];
    EXPECT_EQ(lines[1].substr(21), L"first\r");
    EXPECT_EQ(lines[2].substr(21), L"second\r");
    if (c.would_be) EXPECT_EQ(ReadTextFile(inner + L"\\" + c.would_be), L"") << c.name;
    ::DeleteFileW((inner + L"\\inst.log").c_str());
  }
  RunParameters().Clear();
  SetConfigurationFolder(outer_folder);
}

std::vector<std::wstring>& SunkTexts() {
  static std::vector<std::wstring> texts;
  return texts;
}
void SinkOne(const std::wstring& text) { SunkTexts().push_back(L"one|" + text); }
void SinkTwo(const std::wstring& text) { SunkTexts().push_back(L"two|" + text); }

TEST_F(LogTest, EveryTextGoesToTheSinkOfTheMomentFileOrNot) {
  SunkTexts().clear();
  WriteLog(L"before any sink");
  {
    ScopedLogSink one(&SinkOne);
    WriteLog(L"a");
    {
      ScopedLogSink two(&SinkTwo);
      WriteLog(L"b");
    }
    WriteLog(L"c");
  }
  WriteLog(L"after");
  EXPECT_EQ(SunkTexts(), (std::vector<std::wstring>{L"one|a", L"two|b", L"one|c"}));
}

TEST_F(LogTest, ConcurrentWritersKeepWholeLines) {
  WriteSetting(L"Tarvolin", L"Log", L"inst.log");
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([w] {
      for (int i = 0; i < 25; ++i) WriteLog(FormatWide(L"writer %d line %d", w, i));
    });
  for (auto& t : writers) t.join();
  auto lines = Split(ReadTextFile(folder_ / L"inst.log"), L'\n');
  ASSERT_EQ(lines.size(), 101u);
  for (std::size_t i = 0; i < 100; ++i) EXPECT_TRUE(Contains(lines[i], L"writer ") && lines[i].back() == L'\r') << lines[i];
}

}  // namespace
}  // namespace tarvolin
