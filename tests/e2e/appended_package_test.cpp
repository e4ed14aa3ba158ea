// The real program with an update package appended by the publisher's tool:
// it installs the package's files while the list address leads nowhere, and a
// damaged package leaves start-up going and installs nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "book_run.h"

namespace tarvolin {
namespace {

using namespace e2e;

constexpr DWORD kTimeoutMs = 300000;

std::wstring Packaged(const std::wstring& name) { return testing::BuildOutputFolder() + L"\\packaged_books\\" + name; }

class AppendedPackageRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartBookServices(server_);
    if (!ServicesStarted()) return;
    // Nothing listens at the list's address: whatever gets installed came
    // out of the program itself.
    std::wstring ini = L"[Tarvolin]\r\nLog=inst.log\r\nShowWhenCheck=false\r\nQuickCheck=false\r\nTempAppPath=1\r\n"
                       L"ConnectTryCount=1\r\n[UPDATEINFO]\r\nListURL=http://127.0.0.1:1/rel/tarvolin.xml\r\n"
                       L"[APPLICATION]\r\nApplication=reader.exe\r\nName=TarvolinE2EBook\r\nEBookID=90001\r\n";
    server_->Serve("/DigitalLibrary/ajax.aspx?action=GetTarvolinIni&ebookId=90001", 200, WideToAnsi(ini));
  }
  void TearDown() override { DeleteTree(BookFolder()); }

  std::optional<DWORD> RunSilently(const std::wstring& program, StatusHost& host) {
    std::wstring command = L"\"" + Packaged(program) + L"\"" +
                           FormatWide(L" silence %lu", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(host.window())));
    return testing::RunAndWaitPumping(command, kTimeoutMs);
  }
  std::wstring Log() { return testing::ReadTextFile(InBook(L"inst.log")); }

  std::unique_ptr<testing::LoopbackHttpServer> server_;
};

TEST_F(AppendedPackageRunTest, InstallsTheReleaseItCarries) {
  StatusHost host;
  auto code = RunSilently(L"packaged_release.exe", host);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 2u) << Log();  // two files came with the package
  EXPECT_EQ(ReadWholeFile(InBook(L"reader\\book.dat")), ReadWholeFile(Packaged(L"offline_reader_book.dat"))) << Log();
  EXPECT_EQ(ReadWholeFile(InBook(L"data\\pages.dat")), ReadWholeFile(Packaged(L"offline_data_pages.dat"))) << Log();
  EXPECT_TRUE(FileExists(InBook(L"tarvolin.xml"))) << Log();
  // The run started as after a check: no check, then the whole rest.
  EXPECT_FALSE(host.Saw(1)) << Log();
  for (int status : {3, 4, 6, 9, 12, 13}) EXPECT_TRUE(host.Saw(status)) << status << "\n" << Log();
}

TEST_F(AppendedPackageRunTest, DamagedPackagesLeaveStartUpGoing) {
  for (const wchar_t* program : {L"packaged_bad_list.exe", L"packaged_truncated.exe", L"packaged_bad_trailer.exe"}) {
    StatusHost host;
    auto code = RunSilently(program, host);
    ASSERT_TRUE(code.has_value()) << program;
    EXPECT_EQ(*code, 0u) << program;
    // The ordinary check ran (and failed: nothing listens at the list's address).
    EXPECT_TRUE(host.Saw(1)) << program << "\n" << Log();
    EXPECT_TRUE(host.Saw(13)) << program << "\n" << Log();
    EXPECT_FALSE(FileExists(InBook(L"reader\\book.dat"))) << program;
    EXPECT_FALSE(FileExists(InBook(L"data\\pages.dat"))) << program;
    EXPECT_TRUE(Contains(Log(), L"update package")) << program << "\n" << Log();
    DeleteTree(BookFolder());
    CreateDirectoryTree(BookFolder());
  }
}

}  // namespace
}  // namespace tarvolin
