// The relaunch with raised rights, through the real program. A destination that
// answers "access denied" sends the run to an elevated copy of the program,
// which takes the downloaded work over and installs without relaunching again.
//
// Wine running as root denies nothing by itself. A folder standing where the
// list wants a file does: opening it for writing fails with access denied, on
// Windows as under Wine, so the denial here is real, not injected.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"
#include "book_run.h"

namespace tarvolin {
namespace {

using namespace e2e;

void PumpFor(DWORD milliseconds, const std::function<bool()>& done) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds && !done()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

// True while a process other than this one runs the program `exe_name`.
bool ProgramRuns(const wchar_t* exe_name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
    found = entry.th32ProcessID != GetCurrentProcessId() && lstrcmpiW(entry.szExeFile, exe_name) == 0;
  CloseHandle(snapshot);
  return found;
}

TEST(Elevation, AccessDeniedDestinationMovesTheRunToAnElevatedCopy) {
  std::unique_ptr<testing::LoopbackHttpServer> server;
  StartBookServices(server);
  if (!ServicesStarted()) return;
  ASSERT_TRUE(testing::PublisherAvailable());
  ASSERT_TRUE(testing::ResetPublisher());
  CreateDirectoryTree(InBook(L"blocked.dat"));  // the reader's folder, where the list wants a file
  testing::WriteTextFile(InBook(L"blocked.dat\\mine.txt"), L"the reader's own notes");

  ServeBookFromPublisherFolder(*server, "rel", L"ShowWhenCheck=false\r\n");
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", "the book"));
  ASSERT_TRUE(testing::PutPublishedFile("rel/blocked.dat", "a file that cannot go where a folder is"));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml", "<update><file path=\"book.dat\" ver=\"1\"/><file path=\"blocked.dat\" ver=\"1\"/></update>"));

  StatusHost host;
  ASSERT_NE(host.window(), nullptr);
  auto code = testing::RunAndWaitPumping(Program() + host.SilenceArguments(), 180000);
  ASSERT_TRUE(code.has_value());
  // The first copy stops after the local check; the elevated one carries on and ends the run.
  host.PumpUntilSeen({13}, 180000);
  // The elevated copy writes its last lines after it announced the end.
  PumpFor(60000, [] { return !ProgramRuns(L"tarvolin_testbook.exe"); });
  EXPECT_FALSE(ProgramRuns(L"tarvolin_testbook.exe")) << "the elevated copy did not end";
  const std::vector<int>& statuses = host.statuses;

  std::wstring log = testing::ReadTextFile(InBook(L"inst.log"));
  auto first_denied = std::find(statuses.begin(), statuses.end(), 8);
  ASSERT_NE(first_denied, statuses.end()) << log;
  std::vector<int> after(first_denied, statuses.end());
  // The folder cannot become a file, so the copy ends as an error (11) and the
  // installed list is not claimed for this release.
  for (int expected : {6, 7, 9, 10, 11, 13})
    EXPECT_NE(std::find(after.begin(), after.end(), expected), after.end()) << "status " << expected << "\n" << log;
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 8), 1) << log;  // no second relaunch
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 1), 1) << log;  // the elevated copy did not check again
  EXPECT_FALSE(FileExists(InBook(L"tarvolin.xml"))) << log;
  EXPECT_TRUE(Contains(log, L"continue update as administrator")) << log;

  // Half a release is no release: the file that did go in goes again.
  EXPECT_FALSE(FileExists(InBook(L"book.dat"))) << log;
  EXPECT_TRUE(DirectoryExists(InBook(L"blocked.dat")));  // nothing of the reader's is lost
  EXPECT_EQ(testing::ReadTextFile(InBook(L"blocked.dat\\mine.txt")), L"the reader's own notes");
  DeleteTree(BookFolder());
}

}  // namespace
}  // namespace tarvolin
