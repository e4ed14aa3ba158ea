// "checkforupdates" through the real program: the host reads the number of due
// files, or the new-version code, from the exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"
#include "book_run.h"

namespace tarvolin {
namespace {

using namespace e2e;

constexpr DWORD kTimeoutMs = 180000;

// The configuration server hands the book a configuration pointing at the
// publisher; the e-book service accepts the list.
class CheckOnlyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartBookServices(server_);
    if (!ServicesStarted()) return;
    ASSERT_FALSE(testing::PublisherUrl().empty()) << "TARVOLIN_PUBLISHER_URL is not set; run through ctest";
    ASSERT_TRUE(testing::ResetPublisher());
  }
  void TearDown() override { DeleteTree(BookFolder()); }

  // `extra` goes into [APPLICATION], `tarvolin_extra` into [Tarvolin].
  void ServeConfiguration(const std::wstring& extra, const std::wstring& tarvolin_extra = L"") {
    std::wstring base = testing::PublisherUrl() + L"/book";
    std::wstring ini = L"[Tarvolin]\r\n" + tarvolin_extra + L"Log=inst.log\r\nMode=checkforupdates\r\nShowWhenCheck=false\r\nQuickCheck=false\r\n"
                       L"TempAppPath=1\r\n[UPDATEINFO]\r\nListURL=" + base + L"/tarvolin.xml\r\nMainListURL=" + base +
                       L"/main.xml\r\n[APPLICATION]\r\nApplication=fake_ebook.exe\r\nName=TarvolinE2EBook\r\nEBookID=90001\r\n" +
                       extra;
    server_->Serve("/DigitalLibrary/ajax.aspx?action=GetTarvolinIni&ebookId=90001", 200, WideToAnsi(ini));
  }
  std::wstring Log() { return testing::ReadTextFile(BookFolder() + L"\\inst.log"); }

  std::unique_ptr<testing::LoopbackHttpServer> server_;
};

TEST_F(CheckOnlyTest, ExitCodeIsTheNumberOfDueFiles) {
  ServeConfiguration(L"");
  ASSERT_TRUE(testing::PutPublishedFile("book/tarvolin.xml",
                                        "<update><file path=\"a.dat\" ver=\"2\"/><file path=\"b.dat\" ver=\"2\"/>"
                                        "<file path=\"c.dat\" ver=\"2\"/></update>"));
  ASSERT_TRUE(testing::PutPublishedFile("book/main.xml", "<update></update>"));
  testing::WriteTextFile(BookFolder() + L"\\tarvolin.xml",
                         L"<update><file path=\"a.dat\" ver=\"2\"/><file path=\"b.dat\" ver=\"1\"/>"
                         L"<file path=\"c.dat\" ver=\"1\"/></update>");

  auto code = testing::RunAndWait(Program(), kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 2u) << Log();
  EXPECT_FALSE(FileExists(BookFolder() + L"\\started.txt"));  // checking never starts the book
}

TEST_F(CheckOnlyTest, NewVersionLabelWithNothingDueGivesTheVersionCode) {
  ServeConfiguration(L"CheckVerNumber=1\r\nVer=5.0\r\n");
  ASSERT_TRUE(testing::PutPublishedFile("book/tarvolin.xml", "<ver>5.1</ver>"));

  auto code = testing::RunAndWait(Program() + L" /checkforupdates", kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 2147483647u) << Log();
}

TEST_F(CheckOnlyTest, SameVersionLabelGivesZero) {
  ServeConfiguration(L"CheckVerNumber=1\r\nVer=5.1\r\n");
  ASSERT_TRUE(testing::PutPublishedFile("book/tarvolin.xml", "<ver>5.1</ver>"));
  auto code = testing::RunAndWait(Program() + L" /checkforupdates", kTimeoutMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u) << Log();
}

// The list server stalls past the check's time-out: the list thread is given
// up but still inside its transfer when the program ends. The host must read
// the plain "nothing due" code, not the code of a crash at exit.
TEST_F(CheckOnlyTest, AListServerStalledPastTheTimeOutStillGivesACleanExitCode) {
  ServeConfiguration(L"", L"TimeOut=1\r\n");
  ASSERT_TRUE(testing::PutPublishedFile("book/tarvolin.xml", "<update><file path=\"a.dat\" ver=\"2\"/></update>"));
  ASSERT_TRUE(testing::PutPublishedFile("book/main.xml", "<update></update>"));
  ASSERT_TRUE(testing::SetFault(R"({"path": "/book/tarvolin.xml", "fault": "stall", "bytes": 0, "seconds": 20})"));

  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    const DWORD start = ::GetTickCount();
    auto code = testing::RunAndWait(Program() + L" /checkforupdates", kTimeoutMs);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u) << Log();
    EXPECT_LT(::GetTickCount() - start, 20000u) << "the run waited for the stalled list";
    EXPECT_TRUE(Contains(Log(), L"error when download the list file.")) << Log();
  }
}

}  // namespace
}  // namespace tarvolin
