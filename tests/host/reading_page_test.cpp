#include "host/reading_page.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "support/configuration_fixture.h"
#include "support/http_server.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

class ScopedMachineIds {
 public:
  ScopedMachineIds(const std::wstring& current, const std::wstring& previous)
      : current_(MachineID()), previous_(OldMachineID()) {
    SetMachineIds(current, previous);
  }
  ~ScopedMachineIds() { SetMachineIds(current_, previous_); }

 private:
  std::wstring current_, previous_;
};

std::wstring UnusedPortUrl() {
  testing::LoopbackHttpServer server;  // a port that was free a moment ago
  return FormatWide(L"http://127.0.0.1:%u", server.port());
}

TEST(ReadingPage, AddressForThisRun) {
  ASSERT_TRUE(testing::PublisherAvailable());
  testing::ScopedConfigurationFolder configuration;
  configuration.WriteIni(L"[APPLICATION]\r\nEBookID=B42\r\nAgentName=shop 7\r\nApplication=Reader.exe\r\n");
  ScopedMachineIds ids(L"AAA111BBB", L"CCC222DDD");
  testing::TempFolder launcher_root;
  CreateDirectoryTree(launcher_root / L"program");
  testing::WriteTextFile(launcher_root / L"PelmoraSet.ini", L"[APPLICATION]\r\nPelmoraSetId=SET-9\r\n");
  const std::wstring query =
      L".aspx?id=B42&Type=package&GroupUserName=shop 7&MachineID=AAA111BBB&OldMachineID=CCC222DDD&ExternalCmd=V1.0"
      L"&PackageId=SET-9";

  ReadingPageSources sources{L"http://www.publisher.example", testing::PublisherUrl() + L"/login.aspx",
                             LauncherFiles(launcher_root / L"program")};
  EXPECT_EQ(ReadingPageAddressForThisRun(sources), L"http://www.publisher.example/workshop/shownewIframe" + query);

  sources.login_page = UnusedPortUrl() + L"/login.aspx";
  EXPECT_EQ(ReadingPageAddressForThisRun(sources),
            L"http://www.publisher.example/workshop/shownewIframeNoDns" + query);

  EXPECT_EQ(HostTitle(), L"Reader");
}

}  // namespace
}  // namespace tarvolin
