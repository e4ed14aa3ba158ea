// The tray mode through the real program: started with the mode word "ICON"
// behind a dash, it finds the two due files, pops up, and when its countdown
// of 120 real seconds has run out it installs them and ends, since no
// periodic check is configured.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "book_run.h"
#include "common/files.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using namespace e2e;

constexpr DWORD kTimeoutMs = 400000;

TEST(TrayMode, FindsTwoFilesAndInstallsThemWhenTheCountdownRunsOut) {
  std::unique_ptr<testing::LoopbackHttpServer> server;
  StartBookServices(server);
  if (!ServicesStarted()) return;
  ASSERT_TRUE(testing::PublisherAvailable());
  ASSERT_TRUE(testing::ResetPublisher());
  ServeBookFromPublisherFolder(*server, "tray", L"");
  ASSERT_TRUE(testing::PutPublishedFile("tray/tarvolin.xml", "<update><file path=\"reader\\book.dat\" ver=\"3\"/>"
                                                           "<file path=\"pages.dat\" ver=\"3\"/></update>"));
  ASSERT_TRUE(testing::PutPublishedFile("tray/reader/book.dat", Bytes("book3-", 120000)));
  ASSERT_TRUE(testing::PutPublishedFile("tray/pages.dat", Bytes("pages3-", 40000)));

  const DWORD started = ::GetTickCount();
  auto code = testing::RunAndWaitPumping(Program() + L" -ICON", kTimeoutMs);
  const DWORD elapsed_ms = ::GetTickCount() - started;
  const std::wstring log = testing::ReadTextFile(InBook(L"inst.log"));
  ASSERT_TRUE(code.has_value()) << "the tray window did not end\n" << log;
  EXPECT_GE(elapsed_ms, 120000u) << "the update must wait for the countdown\n" << log;
  EXPECT_EQ(ReadWholeFile(InBook(L"reader\\book.dat")), Bytes("book3-", 120000)) << log;
  EXPECT_EQ(ReadWholeFile(InBook(L"pages.dat")), Bytes("pages3-", 40000)) << log;
  DeleteTree(BookFolder());
}

}  // namespace
}  // namespace tarvolin
