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
  const std::wstring page = L"http://www.publisher.example/workshop/shownewIframe";
  const std::wstring query =
      L".aspx?id=B42&Type=package&GroupUserName=shop 7&MachineID=AAA111BBB&OldMachineID=CCC222DDD&ExternalCmd=V1.0";
  const std::wstring reachable = testing::PublisherUrl() + L"/login.aspx";
  const std::wstring unreachable = UnusedPortUrl() + L"/login.aspx";
  const struct {
    const char* name;
    bool client_ini;
    bool package_ini;
    const std::wstring& login_page;
    std::wstring address;
  } cases[] = {
      {"both launcher files", true, true, reachable, page + query + L"&PackageId=SET-9"},
      {"client launcher only", true, false, reachable, page + query + L"&PackageId=KC-1"},
      {"no launcher", false, false, reachable, page + query},
      {"login page unreachable", false, true, unreachable, page + L"NoDns" + query + L"&PackageId=SET-9"},
  };
  for (const auto& c : cases) {
    testing::TempFolder launcher_root;
    CreateDirectoryTree(launcher_root / L"program");
    if (c.client_ini)
      testing::WriteTextFile(launcher_root / L"PelmoraKC.ini", L"[APPLICATION]\r\nPelmoraSetId=KC-1\r\n");
    if (c.package_ini)
      testing::WriteTextFile(launcher_root / L"PelmoraSet.ini", L"[APPLICATION]\r\nPelmoraSetId=SET-9\r\n");
    const ReadingPageSources sources{L"http://www.publisher.example", c.login_page,
                                     LauncherFiles(launcher_root / L"program")};
    EXPECT_EQ(ReadingPageAddressForThisRun(sources), c.address) << c.name;
  }
  EXPECT_EQ(HostTitle(), L"Reader");
}

}  // namespace
}  // namespace tarvolin
