#include "status/status_rules.h"

#include <gtest/gtest.h>

#include <map>

#include "install/run_file.h"
#include "status/status_numbers.h"
#include "status/status_protocol.h"

namespace tarvolin {
namespace {

TEST(StatusRules, NamesAndEventKeys) {
  struct Case {
    int status;
    const wchar_t* name;
    const wchar_t* event_key;
  } cases[] = {
      {0, L"UpdateNone", L"UpdateNone"},
      {3, L"UpdateCheckRemoteOk", L"UpdateCheckRemoteOk"},
      {10, L"UpdateCopy", L"UpdateCopy"},
      {11, L"UpdateCopyError", L""},  // no stage raises it: never an event
      {12, L"UpdateCopyOk", L"UpdateCopyOk"},
      {13, L"UpdateEnd", L"UpdateEnd"},
      {14, L"", L""},
      {-1, L"", L""},
      {1974, L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusName(c.status), c.name) << c.status;
    EXPECT_EQ(StatusEventKey(c.status), c.event_key) << c.status;
  }
}

TEST(StatusRules, ProgramsComeFromBothEventSectionsUnderTheStatusName) {
  std::map<std::wstring, std::wstring> settings{
      {L"UpdateEvent/UpdateEnd", L"a.exe"},
      {L"UpdateEventWaitClose/UpdateEnd", L"b.exe"},
      {L"UpdateEventWaitClose/UpdateDownload", L"c.exe"},
      {L"UpdateEvent/UpdateCopyError", L"d.exe"},
  };
  SettingReader read = [&](const std::wstring& section, const std::wstring& key) {
    auto it = settings.find(section + L"/" + key);
    return it == settings.end() ? std::wstring() : it->second;
  };
  struct Case {
    int status;
    const wchar_t* start;
    const wchar_t* start_and_wait;
  } cases[] = {
      {UpdateEnd, L"a.exe", L"b.exe"},
      {UpdateDownload, L"", L"c.exe"},
      {UpdateCopyError, L"", L""},
      {UpdateNone, L"", L""},
      {99, L"", L""},
  };
  for (const auto& c : cases) {
    StatusPrograms programs = StatusProgramsFor(c.status, read);
    EXPECT_EQ(programs.start, c.start) << c.status;
    EXPECT_EQ(programs.start_and_wait, c.start_and_wait) << c.status;
  }
}

TEST(StatusRules, TextsLoseTheMarkerAndLogLinesTheConfigurationFolder) {
  EXPECT_EQ(CleanStatusText(L"Unpack{zip}{process} a.zip{zip}{process}"), L"Unpack a.zip");
  EXPECT_EQ(CleanStatusText(L"{zip} and {process} alone stay"), L"{zip} and {process} alone stay");

  const std::wstring folder = L"C:\\Books\\One\\";
  EXPECT_EQ(CleanLogLine(L"Copy C:\\Books\\One\\a.dll to C:\\Books\\One\\b", folder), L"Copy a.dll to b");
  EXPECT_EQ(CleanLogLine(L"Copy C:\\Books\\Two\\a.dll", folder), L"Copy C:\\Books\\Two\\a.dll");
  EXPECT_EQ(CleanLogLine(L"unchanged", L""), L"unchanged");
}

TEST(StatusRules, BufferBlockIsFullSizeCutAndZeroFilled) {
  const std::size_t block_chars = status_protocol::kTextBufferBytes / sizeof(wchar_t);
  for (std::size_t length : {std::size_t{0}, std::size_t{5}, std::size_t{1023}, std::size_t{1024}, std::size_t{3000}}) {
    std::wstring text(length, L'x');
    std::vector<wchar_t> block = TextBufferBlock(text);
    ASSERT_EQ(block.size(), block_chars) << length;
    const std::size_t kept = std::min<std::size_t>(length, 1023);
    EXPECT_EQ(std::wstring(block.data()), std::wstring(kept, L'x')) << length;
    for (std::size_t i = kept; i < block.size(); ++i) ASSERT_EQ(block[i], L'\0') << length << " at " << i;
  }
}

TEST(StatusRules, HostStepsFollowPauseAndRememberTheExitRequest) {
  struct Step {
    HostObservation seen;
    HostStep expected;
  };
  const HostObservation gone{false, false, false};
  const HostObservation idle{true, false, false};
  const HostObservation paused{true, false, true};
  const HostObservation exit_on{true, true, false};
  const HostObservation exit_paused{true, true, true};
  struct Case {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"no host controls", {{idle, HostStep::kGoOn}, {gone, HostStep::kGoOn}}},
      {"pause until cleared", {{paused, HostStep::kWait}, {paused, HostStep::kWait}, {idle, HostStep::kGoOn}}},
      {"exit request remembered after the window went", {{exit_on, HostStep::kGoOn}, {gone, HostStep::kEndRun}}},
      {"window dies while paused", {{exit_paused, HostStep::kWait}, {gone, HostStep::kEndRun}}},
      {"request withdrawn before the window went", {{exit_on, HostStep::kGoOn}, {idle, HostStep::kGoOn}, {gone, HostStep::kGoOn}}},
      {"paused without exit request, then gone", {{paused, HostStep::kWait}, {gone, HostStep::kGoOn}}},
  };
  for (const auto& c : cases) {
    bool armed = false;
    for (std::size_t i = 0; i < c.steps.size(); ++i)
      EXPECT_EQ(NextHostStep(c.steps[i].seen, armed), c.steps[i].expected) << c.name << ", step " << i;
  }
}

TEST(RunFileRules, StatusTextAndTaskScriptNames) {
  EXPECT_EQ(RunFileStatusText(L"C:\\a\\b.exe", L""), L"Run file[C:\\a\\b.exe]");
  EXPECT_EQ(RunFileStatusText(L"C:\\a\\b.exe", L"-x 1"), L"Run file[C:\\a\\b.exe][-x 1]");
  struct Case {
    const wchar_t* path;
    bool script;
  } cases[] = {{L"C:\\t\\tasks.xml", true}, {L"C:\\t\\TASKS.XML", true}, {L"x.xml.exe", false},
               {L"xml", false},             {L".xml", false},            {L"", false}};  // a bare suffix names no file
  for (const auto& c : cases) EXPECT_EQ(IsTaskScriptName(c.path), c.script) << c.path;
}

}  // namespace
}  // namespace tarvolin
