// An updater whose window hangs must not hold up another updater: what the
// scheduler guards is each process's own, and nothing is held across a send.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/strings.h"
#include "common/unique_handle.h"
#include "pipeline/download_list.h"
#include "pipeline/scheduler.h"
#include "status/update_status.h"
#include "support/configuration_fixture.h"
#include "support/process.h"

namespace tarvolin {
namespace {

TEST(SchedulerLocks, AnotherUpdatersHungWindowDoesNotHoldUpThisPass) {
  testing::ScopedConfigurationFolder folder;
  folder.WriteIni(L"[Tarvolin]\r\nTempAppPath=1\r\n");
  const std::wstring ready_name = FormatWide(L"TarvolinHungWindowReady%lu", ::GetCurrentProcessId());
  unique_handle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
  ASSERT_TRUE(ready);
  std::wstring command = L"\"" + testing::BuildOutputFolder() + L"\\hung_window_updater.exe\" " + ready_name;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started));
  unique_handle process(started.hProcess), thread(started.hThread);
  ASSERT_EQ(::WaitForSingleObject(ready.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  ::Sleep(1000);  // its pass is inside the send to its window by now

  // A pass with nothing to fetch needs only this process's counters.
  CurrentDownLoadList().SetRecords({});
  SetStatus(UpdateCheckRemoteOk, nullptr);
  std::atomic<bool> done{false};
  std::thread pass([&] {
    DownloadAll(nullptr);
    done = true;
  });
  for (int i = 0; i < 1000 && !done; ++i) ::Sleep(10);
  const bool finished_in_time = done.load();
  // Ending the other updater also frees whatever it held, so the pass ends either way.
  ::TerminateProcess(process.get(), 0);
  ::WaitForSingleObject(process.get(), 10000);
  pass.join();

  EXPECT_TRUE(finished_in_time) << "the pass waited for another updater's hung window";
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  SetStatus(UpdateNone, nullptr);
}

}  // namespace
}  // namespace tarvolin
