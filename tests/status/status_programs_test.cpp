// Status programs: [UpdateEvent] programs start and are left running,
// [UpdateEventWaitClose] programs are awaited, both through the launcher.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/files.h"
#include "common/process_state.h"
#include "config/settings.h"
#include "config/log.h"
#include "install/run_file.h"
#include "pipeline/status_programs.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "status_host_process.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using ::testing::ElementsAre;
using testing::CopyHelperProgram;
using testing::WaitForFile;

constexpr wchar_t kMarkerProgram[] = L"status_event_marker.exe";
constexpr DWORD kStartTimeoutMs = 20000;

class StatusProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunParameters().Clear();
    SetConfigurationFolder(config_.path() + L"\\");
  }
  void TearDown() override {
    ReleaseStatusWindows();
    RunParameters().Clear();
  }

  // A copy of the marker program in the configuration folder.
  std::wstring Program(const std::wstring& name) {
    std::wstring path = config_ / name;
    EXPECT_TRUE(CopyHelperProgram(kMarkerProgram, path));
    return path;
  }
  static std::wstring Marker(const std::wstring& program) { return program + L".ran"; }
  void WriteConfiguration(const std::wstring& text) { testing::WriteTextFile(config_ / L"tarvolin.ini", text); }

  testing::TempFolder config_;
  // As the application sets them up at start-up.
  StatusProgramStarter programs_;
  StatusObserverRegistration programs_registration_{programs_};
  ScopedLogSink log_to_status_windows_{&SendLogLineToStatusWindows};
};

TEST_F(StatusProgramsTest, EndStartsOneProgramAndWaitsForTheOther) {
  const std::wstring start = Program(L"on_end.exe");
  const std::wstring wait = Program(L"on_end_wait.exe");
  // The awaited one is named relative to the configuration folder.
  WriteConfiguration(L"[UpdateEvent]\r\nUpdateEnd=" + start +
                     L"\r\n[UpdateEventWaitClose]\r\nUpdateEnd=on_end_wait.exe\r\n");

  SetStatus(UpdateEnd, nullptr);

  ASSERT_TRUE(FileExists(Marker(wait))) << "SetStatus returned before its program ended";
  // Started with its own folder as working folder.
  EXPECT_EQ(testing::ReadTextFile(Marker(wait)), config_.path());
  EXPECT_TRUE(WaitForFile(Marker(start), kStartTimeoutMs));
  EXPECT_EQ(CurrentStatus(), UpdateEnd);
}

TEST_F(StatusProgramsTest, StatusesThatAreNoEventsStartNothing) {
  const std::wstring copy_error = Program(L"copy_error.exe");
  const std::wstring copy_error_wait = Program(L"copy_error_wait.exe");
  const std::wstring copy_ok_wait = Program(L"copy_ok_wait.exe");
  WriteConfiguration(L"[UpdateEvent]\r\nUpdateCopyError=" + copy_error + L"\r\n[UpdateEventWaitClose]\r\nUpdateCopyError=" +
                     copy_error_wait + L"\r\nUpdateCopyOk=" + copy_ok_wait + L"\r\n");

  SetStatus(UpdateCopyError, nullptr);
  SetStatus(14, nullptr);
  SetStatus(-1, nullptr);
  // A status that is an event, awaited: by the time it is back a wrongly
  // started program would long have left its marker.
  SetStatus(UpdateCopyOk, nullptr);

  EXPECT_TRUE(FileExists(Marker(copy_ok_wait)));
  EXPECT_FALSE(FileExists(Marker(copy_error_wait)));
  EXPECT_FALSE(FileExists(Marker(copy_error)));
}

TEST_F(StatusProgramsTest, MissingProgramIsAnnouncedAndSkipped) {
  testing::StatusHostProcess report;
  ASSERT_NE(report.window(), nullptr);
  RegisterStatusWindow(report.window());
  const std::wstring missing = config_ / L"not_there.exe";
  WriteConfiguration(L"[UpdateEventWaitClose]\r\nUpdateDownload=" + missing + L"\r\n");

  SetStatus(UpdateDownload, report.window());

  EXPECT_THAT(report.Records(),
              ElementsAre(L"1974|4|0", L"1034|Run file[" + missing + L"]|-1", L"1975|Run file[not_there.exe]"));
}

TEST_F(StatusProgramsTest, RunFileStartsOnlyExistingFilesInTheGivenFolder) {
  const std::wstring program = Program(L"run_me.exe");
  testing::TempFolder elsewhere;

  EXPECT_TRUE(RunFile(L"run_me.exe", L"", elsewhere.path(), true, nullptr));
  EXPECT_EQ(testing::ReadTextFile(Marker(program)), elsewhere.path());

  EXPECT_FALSE(RunFile(L"nothing_here.exe", L"", L"", true, nullptr));
  EXPECT_FALSE(RunFile(config_.path(), L"", L"", true, nullptr)) << "a folder is not a program";
}

}  // namespace
}  // namespace tarvolin
