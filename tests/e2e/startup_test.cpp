// Starts the real program, built for a test book, and looks at what a reader's
// machine would show afterwards: the book folder, its configuration, the log,
// the started e-book, the host window's properties and the exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/strings.h"
#include "endpoints.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "book_run.h"

namespace tarvolin {
namespace {

using namespace e2e;
using testing::BuildOutputFolder;
using testing::ReadTextFile;
using testing::RunAndWait;
using testing::RunAndWaitPumping;
using testing::WriteTextFile;

constexpr DWORD kTimeoutMs = 120000;

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteTree(BookFolder()); }
  void TearDown() override { DeleteTree(BookFolder()); }
};

TEST_F(StartupTest, FreshStartWritesTheDefaultConfigurationIntoTheBookFolder) {
  auto code = RunAndWait(Program(), kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);  // nothing to update and no version label

  std::wstring ini = ReadTextFile(InBook(L"tarvolin.ini"));
  EXPECT_TRUE(Contains(ini, L"Name=TarvolinE2EBook\r\n")) << ini;
  EXPECT_TRUE(Contains(ini, L"Mode=downparam0\r\n")) << ini;
  EXPECT_FALSE(FileExists(InBook(L"tarvolin.ini.bak")));  // the failed refresh put the file back
  EXPECT_FALSE(FileExists(InBook(L"started.txt")));       // the e-book is not installed yet
}

TEST_F(StartupTest, InstalledBookIsStartedFromTheBookFolder) {
  CreateDirectoryTree(BookFolder());
  ASSERT_TRUE(CopyFileW((BuildOutputFolder() + L"\\fake_ebook.exe").c_str(), InBook(L"fake_ebook.exe").c_str(), FALSE));

  auto code = RunAndWait(Program() + L" /checkforupdates", kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  // The e-book runs with the book folder as its working folder; give it a moment to write.
  for (int i = 0; i < 100 && !FileExists(InBook(L"started.txt")); ++i) Sleep(100);
  EXPECT_TRUE(FileExists(InBook(L"started.txt")));
}

TEST_F(StartupTest, OpenBookWindowIsOnlyBroughtForward) {
  HWND book = CreateWindowExW(0, L"STATIC", L"fake_ebook", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(book, nullptr);
  auto code = RunAndWaitPumping(Program(), kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  EXPECT_TRUE(IsZoomed(book));
  EXPECT_FALSE(FileExists(InBook(L"inst.log")));  // it left before the log was ever written
  DestroyWindow(book);
}

TEST_F(StartupTest, HostWindowOnTheCommandLineFollowsTheRun) {
  HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  std::wstring args = FormatWide(L" -silence %lu", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(host)));
  auto code = RunAndWaitPumping(Program() + args, kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropW(host, L"tarvolin.needmsg")), 1974u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropW(host, L"tarvolin.exe")), 13u);  // the run ended
  std::wstring log = ReadTextFile(InBook(L"inst.log"));
  // The test book's list server does not exist, so the check fails and the run ends.
  EXPECT_TRUE(Contains(log, L"error when download the list file.")) << log;
  DestroyWindow(host);
}

TEST_F(StartupTest, ConfigurationComesFromTheServerWhenItAnswers) {
  auto port = LoopbackPort(endpoints::kConfigServer);  // one of ours on the loopback interface
  if (!port) GTEST_SKIP() << "this build's configuration server is not on the loopback interface";
  testing::LoopbackHttpServer server(*port);
  ASSERT_TRUE(server.listening());
  // No Application in the served copy: untitled windows on the desktop must not end the run.
  // A check-only run without a list address: it says so in the log the served copy names.
  const std::string served =
      "[Tarvolin]\r\nLog=served.log\r\nMode=checkforupdates\r\nShowWhenCheck=0\r\n[APPLICATION]\r\nName=TarvolinE2EBook\r\n";
  server.Serve("/DigitalLibrary/ajax.aspx?action=GetTarvolinIni&ebookId=90001", 200, served);

  auto code = RunAndWait(Program(), kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(ReadWholeFile(InBook(L"tarvolin.ini")).value_or(""), served);
  // The run went on with the server's settings.
  EXPECT_TRUE(Contains(ReadTextFile(InBook(L"served.log")), L"ListURL")) << ReadTextFile(InBook(L"served.log"));
}

TEST_F(StartupTest, ErrorReplyKeepsThePreviousConfiguration) {
  auto port = LoopbackPort(endpoints::kConfigServer);  // one of ours on the loopback interface
  if (!port) GTEST_SKIP() << "this build's configuration server is not on the loopback interface";
  testing::LoopbackHttpServer server(*port);
  ASSERT_TRUE(server.listening());
  server.Serve("/DigitalLibrary/ajax.aspx?action=GetTarvolinIni&ebookId=90001", 500, "<html>error</html>");

  auto code = RunAndWait(Program(), kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  std::wstring ini = ReadTextFile(InBook(L"tarvolin.ini"));
  EXPECT_TRUE(Contains(ini, L"Mode=downparam0\r\n")) << ini;
  EXPECT_FALSE(server.RequestedPaths().empty());
}

}  // namespace
}  // namespace tarvolin
