#include "pipeline/schedule_rules.h"

#include <gtest/gtest.h>

#include "updatelist/update_record.h"

namespace tarvolin {
namespace {

TEST(ScheduleRules, FileAddresses) {
  struct Case {
    const wchar_t* url;
    const wchar_t* path;
    const wchar_t* expected;
  } cases[] = {
      {L"http://own/x.bin", L"ignored", L"http://own/x.bin"},                     // own URL, unchanged apart from slashes
      {L"", L"bin\\book.exe", L"http://h/rel/bin/book.exe"},                      // backslashes become slashes
      {L"", L"\\lead.dat", L"http://h/rel/lead.dat"},                             // doubled slash collapsed
      {L"HTTP://OWN//A\\b.bin", L"", L"HTTP://OWN/A/b.bin"},
      {L"https://secure//x", L"", L"https://secure/x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BuildFileUrlFrom(c.url, c.path, L"{listurl-base}/{filename}", L"http://h/rel"), c.expected) << c.path;
  EXPECT_EQ(BuildFileUrlFrom(L"", L"a.bin", L"http://cdn/{filename}?from={listurl-base}", L"base"),
            L"http://cdn/a.bin?from=base");
}

TEST(ScheduleRules, PatchAddresses) {
  struct Case {
    const wchar_t* patch_url;
    const wchar_t* expected;
  } cases[] = {
      {L"app.exe.from-1.zst", L"http://h/rel/app.exe.from-1.zst"},            // beside the list
      {L"bin\\app.exe.from-1.zst", L"http://h/rel/bin/app.exe.from-1.zst"},  // as a file's path is
      {L"http://cdn//p/a.zst", L"http://cdn/p/a.zst"},                        // absolute, as it stands
      {L"HTTPS://cdn/a.zst", L"HTTPS://cdn/a.zst"},
      {L"httpfolder/a.zst", L"http://h/rel/httpfolder/a.zst"},                // not a scheme
  };
  for (const auto& c : cases) EXPECT_EQ(PatchUrlFrom(c.patch_url, L"http://h/rel"), c.expected) << c.patch_url;
}

TEST(ScheduleRules, WhichRecordsAreFetched) {
  EXPECT_TRUE(IsFetchedAction(0));
  EXPECT_TRUE(IsFetchedAction(ActionRun | ActionRegister | ActionBoot));
  EXPECT_FALSE(IsFetchedAction(ActionDelete));
  EXPECT_FALSE(IsFetchedAction(0x10));
  EXPECT_FALSE(IsFetchedAction(0x20));
  EXPECT_FALSE(IsFetchedAction(DescriptionRecord));
  EXPECT_FALSE(IsFetchedAction(TaskRecord));
}

TEST(ScheduleRules, QueueWaitsWhileTheWindowIsFull) {
  // Three at once: the fourth file (position 3) waits until one of the first three ended.
  EXPECT_FALSE(QueueMustWait(1, 0, 0, 3));
  EXPECT_TRUE(QueueMustWait(2, 0, 0, 3));
  EXPECT_FALSE(QueueMustWait(2, 1, 0, 3));
  EXPECT_FALSE(QueueMustWait(2, 0, 1, 3));  // a failed file frees its place too
  EXPECT_TRUE(QueueMustWait(0, 0, 0, 1));   // one at a time
}

}  // namespace
}  // namespace tarvolin
