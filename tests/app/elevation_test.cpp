#include "app/elevation.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "pipeline/download_list.h"
#include "status/update_status.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

TEST(Elevation, ParametersCarryTheMarker) {
  EXPECT_EQ(ElevatedParameters(L"silence"), L"silence /___runas_admin___");
  EXPECT_EQ(ElevatedParameters(L""), L"/___runas_admin___");
}

TEST(Elevation, HandOverFileRestoresTheWholeList) {
  testing::TempFolder folder;
  DownLoadList& list = CurrentDownLoadList();
  updatefileinfo a;
  a.path = L"bin\\book.exe";
  a.version = L"2.0";
  a.url = L"http://h/book.exe";
  a.action = ActionRun;
  updatefileinfo b;
  b.path = L"data\\pages.dat";
  b.version = L"7";
  b.dstName = L"{app}copy.dat";
  list.SetRecords({a, b});
  list.SetDescription(L"What is new\r\n");
  list.SetTasks({L"run9x.exe", L"del9old.txt"});
  SetStatus(UpdateDownloadOk, nullptr);
  DownloadListValues saved = list.Snapshot();

  std::wstring path = folder / L"handover.lst";
  ASSERT_TRUE(WriteWholeFile(path, SerializeDownloadList(saved)));
  list.SetRecords({});
  list.SetDescription(L"");
  list.SetTasks({});

  EXPECT_EQ(LoadHandOverList(path), 2);
  EXPECT_EQ(list.Snapshot(), saved);
  EXPECT_EQ(RecordsToUpdate(), 2);

  // A damaged or missing file hands nothing over and leaves the list alone.
  ASSERT_TRUE(WriteWholeFile(path, "TVDL garbage"));
  EXPECT_EQ(LoadHandOverList(path), 0);
  EXPECT_EQ(LoadHandOverList(folder / L"missing.lst"), 0);
  EXPECT_EQ(list.Count(), 2);
  list.SetRecords({});
  SetStatus(UpdateNone, nullptr);
}

}  // namespace
}  // namespace tarvolin
