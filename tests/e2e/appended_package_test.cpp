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

// A record path is joined to the download folder and to the book folder: one
// that climbs out of them is refused with the whole list.
TEST_F(AppendedPackageRunTest, APackageWhoseRecordLeavesTheDownloadFolderInstallsNothing) {
  const std::wstring escaped = BookFolder() + L"\\..\\escaped\\book.dat";
  DeleteTree(FolderOf(escaped));
  StatusHost host;
  auto code = RunSilently(L"packaged_escape.exe", host);
  ASSERT_TRUE(code.has_value());
  EXPECT_FALSE(FileExists(escaped)) << Log();
  EXPECT_FALSE(FileExists(InBook(L"reader\\book.dat"))) << Log();
  EXPECT_FALSE(FileExists(InBook(L"escaped\\book.dat"))) << Log();
  EXPECT_TRUE(Contains(Log(), L"leaves the download folder")) << Log();
  DeleteTree(FolderOf(escaped));
}

// The same program built with the publisher's "test" key: the package's list
// must carry its signature inside the package.
class SignedAppendedPackageRunTest : public AppendedPackageRunTest {
 protected:
  void SetUp() override {
    // No configuration is served: the signed book's default one stays, and
    // its list address answers nothing.
    StartBookServices(server_, SignedBookFolder(), "90002");
  }
  void TearDown() override { DeleteTree(SignedBookFolder()); }
  static std::wstring SignedBookFolder() {
    return BookFolderOf(L"TarvolinE2ESignedBook");
  }
  std::wstring InSignedBook(const std::wstring& name) { return SignedBookFolder() + L"\\" + name; }
  std::wstring SignedLog() { return testing::ReadTextFile(InSignedBook(L"inst.log")); }
};

TEST_F(SignedAppendedPackageRunTest, OnlyAPackageWhoseListVerifiesInstalls) {
  struct Case {
    const wchar_t* program;
    bool installs;
    const wchar_t* log_text;
  } cases[] = {
      {L"signed_packaged_release.exe", true, L"files taken from it"},
      {L"signed_packaged_unsigned.exe", false, L"update package: list refused: its signature could not be fetched"},
      {L"signed_packaged_other_key.exe", false, L"update package: list refused: its signature does not verify"},
      {L"signed_packaged_foreign_signature.exe", false, L"update package: list refused: its signature does not verify"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToAnsi(c.program));
    StartBookServices(server_, SignedBookFolder(), "90002");
    ASSERT_TRUE(ServicesStarted());
    StatusHost host;
    ASSERT_TRUE(RunSilently(c.program, host).has_value());
    const std::wstring log = SignedLog();
    EXPECT_TRUE(Contains(log, c.log_text)) << log;
    EXPECT_EQ(FileExists(InSignedBook(L"reader\\book.dat")), c.installs) << log;
    EXPECT_EQ(FileExists(InSignedBook(L"data\\pages.dat")), c.installs) << log;
    if (c.installs) {
      EXPECT_EQ(ReadWholeFile(InSignedBook(L"reader\\book.dat")), ReadWholeFile(Packaged(L"offline_reader_book.dat")));
    }
  }
}

// A verified package whose files need the administrator goes on through the
// administrator run, which takes the package again from the program itself and
// holds its list to the key again. A folder where the package wants a file
// denies access; the administrator run's copy then fails on it too, but it got
// to copying.
TEST_F(SignedAppendedPackageRunTest, AVerifiedPackageGoesOnThroughTheAdministratorRun) {
  StartBookServices(server_, SignedBookFolder(), "90002");
  ASSERT_TRUE(ServicesStarted());
  ASSERT_TRUE(CreateDirectoryTree(InSignedBook(L"data\\pages.dat")));
  StatusHost host;
  ASSERT_TRUE(RunSilently(L"signed_packaged_release.exe", host).has_value());
  host.PumpUntilSeen({8, 13}, kTimeoutMs);
  const std::wstring log = SignedLog();
  EXPECT_TRUE(IsSubsequence(host.statuses, {8, 9, 10, 11, 13})) << log;
  EXPECT_FALSE(Contains(log, L"cannot be verified again")) << log;
  EXPECT_FALSE(Contains(log, L"not what the verified list says")) << log;
}

}  // namespace
}  // namespace tarvolin
