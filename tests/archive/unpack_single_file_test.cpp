#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "archive/zip_archive.h"
#include "common/files.h"
#include "common/unique_handle.h"
#include "zip_fixtures.h"

namespace tarvolin {
namespace {

using testing::ArchiveCopy;
using testing::FixtureSource;
using testing::FolderContent;

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

enum class Before { kNoTarget, kLongerTarget, kReadOnlyTarget };

TEST(UnpackSingleFile, WritesTheFirstEntryToTheTargetWhateverItsName) {
  struct Case {
    const wchar_t* archive;
    const wchar_t* source;  // null: the entry is empty
  } archives[] = {{L"packed.zip", L"deflated.txt"}, {L"packed_empty.zip", nullptr}};
  for (const auto& c : archives) {
    for (Before before : {Before::kNoTarget, Before::kLongerTarget, Before::kReadOnlyTarget}) {
      SCOPED_TRACE(::testing::Message() << c.archive << " case " << static_cast<int>(before));
      ArchiveCopy copy(c.archive);
      const std::wstring target = copy.work() + L"\\target.bin";
      if (before != Before::kNoTarget) WriteWholeFile(target, std::string(200000, 'o'));
      if (before == Before::kReadOnlyTarget) ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);

      ASSERT_TRUE(UnpackSingleFile(copy.path(), target));
      EXPECT_EQ(ReadWholeFile(target).value_or("<no file>"), c.source ? FixtureSource(c.source) : "");
      EXPECT_EQ(::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
      // The entry's own name ("..\..\other_name.txt") is never used.
      EXPECT_EQ(Sorted(FolderContent(copy.work())), Sorted({c.archive, L"target.bin"}));
      EXPECT_EQ(FolderContent(copy.outside()), std::vector<std::wstring>{L"work"});
    }
  }
}

TEST(UnpackSingleFile, FailuresLeaveNoTarget) {
  const wchar_t* archives[] = {L"not_a_zip.zip",    L"zero_bytes.zip", L"truncated.zip",
                               L"no_entries.zip",   L"corrupt.zip",    L"encrypted.zip",
                               L"packed_folder_first.zip", L"packed_two_entries.zip", L"packed_data_stream.zip"};
  for (const wchar_t* archive : archives) {
    for (bool target_existed : {false, true}) {
      SCOPED_TRACE(::testing::Message() << archive << (target_existed ? " over an old target" : ""));
      ArchiveCopy copy(archive);
      const std::wstring target = copy.work() + L"\\target.bin";
      if (target_existed) WriteWholeFile(target, "old content");
      EXPECT_FALSE(UnpackSingleFile(copy.path(), target));
      EXPECT_FALSE(FileExists(target));
    }
  }
  ArchiveCopy copy(L"packed.zip");
  EXPECT_FALSE(UnpackSingleFile(copy.work() + L"\\missing.zip", copy.work() + L"\\target.bin"));
  EXPECT_FALSE(FileExists(copy.work() + L"\\target.bin"));
}

// The old file must not pass for the unpacked one.
TEST(UnpackSingleFile, ATargetThatCannotBeReplacedIsAFailure) {
  ArchiveCopy copy(L"packed.zip");
  const std::wstring target = copy.work() + L"\\target.bin";
  WriteWholeFile(target, "old content");
  {
    // Held open without delete sharing, as a running program holds its files.
    unique_hfile held(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(UnpackSingleFile(copy.path(), target));
  }
  EXPECT_EQ(ReadWholeFile(target).value_or(""), "old content");

  const std::wstring folder_target = copy.work() + L"\\a_folder";
  ASSERT_TRUE(CreateDirectoryTree(folder_target));
  EXPECT_FALSE(UnpackSingleFile(copy.path(), folder_target));
  EXPECT_TRUE(DirectoryExists(folder_target));
}

// Packed downloads are unpacked by several file threads at once, while other
// threads read other archives: what one archive call gives must never be taken
// for what another gave.
TEST(UnpackSingleFile, ParallelArchiveCallsEachGetTheirOwnResult) {
  constexpr int kRounds = 300;
  struct Unpacker {
    const wchar_t* archive;
    bool good;
  } unpackers[] = {{L"not_a_zip.zip", false}, {L"not_a_zip.zip", false}, {L"packed.zip", true}};
  std::vector<std::unique_ptr<ArchiveCopy>> copies;
  for (const Unpacker& unpacker : unpackers) copies.push_back(std::make_unique<ArchiveCopy>(unpacker.archive));
  const std::string expected = FixtureSource(L"deflated.txt");
  ArchiveCopy listed(L"packed.zip");

  std::atomic<int> unpackers_left{static_cast<int>(std::size(unpackers))};
  std::atomic<int> wrong_successes{0}, wrong_failures{0}, missing_targets{0};
  std::vector<std::thread> threads;
  // Readers of a good archive: every one of their calls succeeds.
  for (int reader = 0; reader < 2; ++reader) {
    threads.emplace_back([&] {
      ArchiveHandle archive = OpenArchive(listed.path());
      ArchiveItem item;
      while (archive && unpackers_left > 0) GetArchiveItem(archive.get(), 0, item);
    });
  }
  for (std::size_t u = 0; u < std::size(unpackers); ++u) {
    threads.emplace_back([&, u] {
      const std::wstring target = copies[u]->work() + L"\\target.bin";
      for (int round = 0; round < kRounds; ++round) {
        const bool unpacked = UnpackSingleFile(copies[u]->path(), target);
        if (unpacked && !unpackers[u].good) ++wrong_successes;
        if (!unpacked && unpackers[u].good) ++wrong_failures;
        if (unpacked && ReadWholeFile(target).value_or("<no file>") != expected) ++missing_targets;
      }
      --unpackers_left;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong_successes.load(), 0) << "a file that is no archive was reported unpacked";
  EXPECT_EQ(wrong_failures.load(), 0);
  EXPECT_EQ(missing_targets.load(), 0) << "success reported with no target written";
}

}  // namespace
}  // namespace tarvolin
