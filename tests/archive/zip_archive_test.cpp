#include "archive/zip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "archive/zip_rules.h"
#include "common/files.h"
#include "common/unique_handle.h"
#include "zip_fixtures.h"

namespace tarvolin {
namespace {

using testing::ArchiveCopy;
using testing::FixturePath;
using testing::FixtureSource;
using testing::FolderContent;

int EntryCount(ZipArchive* archive) {
  ArchiveItem item;
  EXPECT_EQ(GetArchiveItem(archive, -1, item), ArchiveResult::kOk);
  return item.index;
}

ArchiveItem Find(ZipArchive* archive, const std::wstring& name) {
  ArchiveItem item;
  int index = -1;
  EXPECT_EQ(FindArchiveItem(archive, name, false, index, item), ArchiveResult::kOk) << name;
  EXPECT_EQ(index, item.index);
  return item;
}

std::string ReadFile(const std::wstring& path) { return ReadWholeFile(path).value_or("<no file>"); }

FILETIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME system{year, month, 0, day, hour, minute, second, 0};
  FILETIME time{};
  ::SystemTimeToFileTime(&system, &time);
  return time;
}

bool SameTime(const FILETIME& a, const FILETIME& b) { return ::CompareFileTime(&a, &b) == 0; }

TEST(ZipArchive, ListsEntriesWithNamesSizesAndAttributes) {
  ArchiveHandle archive = OpenArchive(FixturePath(L"plain.zip"));
  ASSERT_TRUE(archive) << "fixtures missing? " << FixturePath(L"plain.zip");
  EXPECT_EQ(EntryCount(archive.get()), 7);

  using namespace entry_attributes;
  enum Packing { kStored, kShrunk, kDeflatedSmall };  // tiny deflated entries may grow
  struct Case {
    const wchar_t* name;
    const wchar_t* source;  // original bytes, or null for none
    DWORD attributes;
    Packing packing;
  } cases[] = {
      {L"stored.txt", L"stored.txt", kArchive, kStored},
      {L"data/Deflated.txt", L"deflated.txt", kArchive, kShrunk},
      {L"Folder/", nullptr, kArchive | kDirectory, kStored},
      {L"empty.txt", nullptr, kArchive, kStored},
      {L"ReadOnly.txt", L"stored.txt", kArchive | kReadOnly, kDeflatedSmall},
      {L"hidden.txt", L"stored.txt", kArchive | kHidden, kStored},
      {L"Ünïcode.txt", L"unicode.txt", kArchive, kDeflatedSmall},
  };
  for (const auto& c : cases) {
    ArchiveItem item = Find(archive.get(), c.name);
    EXPECT_EQ(item.name, c.name);
    EXPECT_EQ(item.attributes, c.attributes) << c.name;
    const std::size_t size = c.source ? FixtureSource(c.source).size() : 0;
    EXPECT_EQ(item.uncompressed_size, size) << c.name;
    if (c.packing == kStored) {
      EXPECT_EQ(item.compressed_size, item.uncompressed_size) << c.name;
    } else if (c.packing == kShrunk) {
      EXPECT_LT(item.compressed_size, item.uncompressed_size / 4) << c.name;
    }

    ArchiveItem by_index;
    ASSERT_EQ(GetArchiveItem(archive.get(), item.index, by_index), ArchiveResult::kOk);
    EXPECT_EQ(by_index.name, item.name);
  }
}

TEST(ZipArchive, FindsNamesExactlyOrIgnoringCase) {
  ArchiveHandle archive = OpenArchive(FixturePath(L"plain.zip"));
  ASSERT_TRUE(archive);
  struct Case {
    const wchar_t* name;
    bool ignore_case;
    const wchar_t* found;  // null when there must be no match
  } cases[] = {
      {L"data/Deflated.txt", false, L"data/Deflated.txt"},
      {L"DATA/deflated.TXT", false, nullptr},
      {L"DATA/deflated.TXT", true, L"data/Deflated.txt"},
      {L"üNÏCODE.TXT", true, L"Ünïcode.txt"},
      {L"Ünïcode.txt", false, L"Ünïcode.txt"},
      {L"data\\Deflated.txt", true, nullptr},  // stored names are compared as stored
      {L"missing.txt", true, nullptr},
  };
  for (const auto& c : cases) {
    ArchiveItem item;
    int index = 42;
    ArchiveResult result = FindArchiveItem(archive.get(), c.name, c.ignore_case, index, item);
    if (c.found) {
      EXPECT_EQ(result, ArchiveResult::kOk) << c.name;
      EXPECT_EQ(item.name, c.found) << c.name;
      EXPECT_EQ(index, item.index);
    } else {
      EXPECT_EQ(result, ArchiveResult::kNoSuchEntry) << c.name;
      EXPECT_EQ(index, -1) << c.name;
    }
  }
}

TEST(ZipArchive, ExtractsStoredDeflatedEmptyAndUnicodeEntries) {
  ArchiveCopy copy(L"plain.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  struct Case {
    const wchar_t* entry;
    const wchar_t* source;
  } cases[] = {
      {L"stored.txt", L"stored.txt"},
      {L"data/Deflated.txt", L"deflated.txt"},
      {L"empty.txt", nullptr},
      {L"Ünïcode.txt", L"unicode.txt"},
  };
  for (const auto& c : cases) {
    const std::wstring output = copy.work() + L"\\out\\" + FileNameOf(Find(archive.get(), c.entry).name);
    ASSERT_EQ(ExtractItemToFile(archive.get(), Find(archive.get(), c.entry).index, output), ArchiveResult::kOk)
        << c.entry;
    EXPECT_EQ(ReadFile(output), c.source ? FixtureSource(c.source) : "") << c.entry;
  }
}

TEST(ZipArchive, ReplacesAnExistingOutputFile) {
  ArchiveCopy copy(L"plain.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  const std::wstring output = copy.work() + L"\\existing.txt";
  WriteWholeFile(output, std::string(100000, 'x'));  // longer than the entry: must not survive as a tail
  ASSERT_EQ(ExtractItemToFile(archive.get(), Find(archive.get(), L"stored.txt").index, output), ArchiveResult::kOk);
  EXPECT_EQ(ReadFile(output), FixtureSource(L"stored.txt"));
}

TEST(ZipArchive, RelativeOutputPathsLandBesideTheArchive) {
  ArchiveCopy copy(L"plain.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  const int index = Find(archive.get(), L"data/Deflated.txt").index;
  ASSERT_EQ(ExtractItemToFile(archive.get(), index, L"deep\\er/copy.txt"), ArchiveResult::kOk);
  EXPECT_EQ(ReadFile(copy.work() + L"\\deep\\er\\copy.txt"), FixtureSource(L"deflated.txt"));
}

TEST(ZipArchive, DirectoryEntriesCreateFolders) {
  ArchiveCopy copy(L"plain.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  ArchiveItem folder = Find(archive.get(), L"Folder/");
  ASSERT_EQ(ExtractItemToFile(archive.get(), folder.index, folder.name), ArchiveResult::kOk);
  EXPECT_TRUE(DirectoryExists(copy.work() + L"\\Folder"));

  const std::wstring nested = copy.work() + L"\\a\\b\\c";
  ASSERT_EQ(ExtractItemToFile(archive.get(), folder.index, nested), ArchiveResult::kOk);
  EXPECT_TRUE(DirectoryExists(nested));
}

TEST(ZipArchive, ExtractedFilesKeepAttributesAndDosTimes) {
  ArchiveCopy copy(L"plain.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  ArchiveItem read_only = Find(archive.get(), L"ReadOnly.txt");
  const std::wstring output = copy.work() + L"\\ro.txt";
  ASSERT_EQ(ExtractItemToFile(archive.get(), read_only.index, output), ArchiveResult::kOk);
  EXPECT_TRUE(::GetFileAttributesW(output.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReadFile(output), FixtureSource(L"stored.txt"));

  // The fixture's entries carry the DOS time 2010-05-06 07:08:10, a local time.
  ArchiveItem stored = Find(archive.get(), L"stored.txt");
  FILETIME local{};
  SYSTEMTIME shown{};
  ASSERT_TRUE(::FileTimeToLocalFileTime(&stored.last_write_time, &local));
  ASSERT_TRUE(::FileTimeToSystemTime(&local, &shown));
  EXPECT_EQ(shown.wYear, 2010);
  EXPECT_EQ(shown.wMonth, 5);
  EXPECT_EQ(shown.wDay, 6);
  EXPECT_EQ(shown.wHour, 7);
  EXPECT_EQ(shown.wMinute, 8);
  EXPECT_EQ(shown.wSecond, 10);
  EXPECT_TRUE(SameTime(stored.creation_time, stored.last_write_time));

  const std::wstring stored_output = copy.work() + L"\\stored.txt";
  ASSERT_EQ(ExtractItemToFile(archive.get(), stored.index, stored_output), ArchiveResult::kOk);
  unique_hfile file(::CreateFileW(stored_output.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  FILETIME creation{}, access{}, write{};
  ASSERT_TRUE(::GetFileTime(file.get(), &creation, &access, &write));
  EXPECT_TRUE(SameTime(write, stored.last_write_time));
}

TEST(ZipArchive, ExtendedTimestampFieldGivesUtcTimes) {
  ArchiveCopy copy(L"stamped.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  // The script stamped the file with write 1000000000 and access 1100000000 (Unix seconds).
  const FILETIME write = Utc(2001, 9, 9, 1, 46, 40);
  const FILETIME access = Utc(2004, 11, 9, 11, 33, 20);
  ArchiveItem item = Find(archive.get(), L"stamped.txt");
  EXPECT_TRUE(SameTime(item.last_write_time, write));
  // The central copy of the field has only the write time; it stands in for the others.
  EXPECT_TRUE(SameTime(item.creation_time, write));
  EXPECT_TRUE(SameTime(item.last_access_time, write));

  const std::wstring output = copy.work() + L"\\stamped.txt";
  ASSERT_EQ(ExtractItemToFile(archive.get(), item.index, output), ArchiveResult::kOk);
  // Only the attributes are opened: reading the content could move the access time.
  unique_hfile file(
      ::CreateFileW(output.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME file_creation{}, file_access{}, file_write{};
  ASSERT_TRUE(::GetFileTime(file.get(), &file_creation, &file_access, &file_write));
  EXPECT_TRUE(SameTime(file_write, write));
  EXPECT_TRUE(SameTime(file_access, access)) << "the local copy of the field carries the access time";
}

TEST(ZipArchive, BufferReadsContinueUntilTheEntryIsComplete) {
  ArchiveHandle archive = OpenArchive(FixturePath(L"plain.zip"));
  ASSERT_TRUE(archive);
  const int deflated = Find(archive.get(), L"data/Deflated.txt").index;
  const std::string expected = FixtureSource(L"deflated.txt");

  std::string joined;
  char piece[1000];
  ArchiveResult result = ArchiveResult::kMoreData;
  int calls = 0;
  while (result == ArchiveResult::kMoreData && calls < 1000) {
    std::size_t got = 0;
    result = ExtractItemToBuffer(archive.get(), deflated, piece, got);
    if (result == ArchiveResult::kMoreData) {
      EXPECT_EQ(got, sizeof piece);
    }
    joined.append(piece, got);
    ++calls;
  }
  EXPECT_EQ(result, ArchiveResult::kOk);
  EXPECT_EQ(joined, expected);
  EXPECT_EQ(calls, static_cast<int>((expected.size() + sizeof piece - 1) / sizeof piece));

  // After the end, the next read starts the entry again.
  std::size_t got = 0;
  EXPECT_EQ(ExtractItemToBuffer(archive.get(), deflated, piece, got), ArchiveResult::kMoreData);
  EXPECT_EQ(std::string(piece, got), expected.substr(0, sizeof piece));
}

TEST(ZipArchive, BufferReadsOfAnotherEntryStartItFromTheBeginning) {
  ArchiveHandle archive = OpenArchive(FixturePath(L"plain.zip"));
  ASSERT_TRUE(archive);
  const int deflated = Find(archive.get(), L"data/Deflated.txt").index;
  const int stored = Find(archive.get(), L"stored.txt").index;
  const std::string expected = FixtureSource(L"deflated.txt");
  const std::string stored_expected = FixtureSource(L"stored.txt");

  char piece[100];
  std::size_t got = 0;
  ASSERT_EQ(ExtractItemToBuffer(archive.get(), deflated, piece, got), ArchiveResult::kMoreData);

  std::vector<char> exact(stored_expected.size());
  ASSERT_EQ(ExtractItemToBuffer(archive.get(), stored, exact, got), ArchiveResult::kOk);
  EXPECT_EQ(std::string(exact.data(), got), stored_expected);

  ASSERT_EQ(ExtractItemToBuffer(archive.get(), deflated, piece, got), ArchiveResult::kMoreData);
  EXPECT_EQ(std::string(piece, got), expected.substr(0, sizeof piece));

  std::vector<char> roomy(stored_expected.size() + 50, '#');
  ASSERT_EQ(ExtractItemToBuffer(archive.get(), stored, roomy, got), ArchiveResult::kOk);
  EXPECT_EQ(got, stored_expected.size());

  ASSERT_EQ(ExtractItemToBuffer(archive.get(), Find(archive.get(), L"empty.txt").index, roomy, got),
            ArchiveResult::kOk);
  EXPECT_EQ(got, 0u);

  std::string whole;
  ASSERT_EQ(ExtractItemToString(archive.get(), deflated, whole), ArchiveResult::kOk);
  EXPECT_EQ(whole, expected);
}

TEST(ZipArchive, EncryptedEntriesNeedTheRightPassword) {
  const std::string password = FixtureSource(L"password.txt");
  ArchiveCopy copy(L"encrypted.zip");
  struct Case {
    const wchar_t* entry;
    const wchar_t* source;
  } cases[] = {{L"deflated.txt", L"deflated.txt"}, {L"stored.txt", L"stored.txt"}};

  ArchiveHandle right = OpenArchive(copy.path(), password);
  ASSERT_TRUE(right);
  for (const auto& c : cases) {
    const int index = Find(right.get(), c.entry).index;
    const std::wstring output = copy.work() + L"\\right_" + c.entry;
    ASSERT_EQ(ExtractItemToFile(right.get(), index, output), ArchiveResult::kOk) << c.entry;
    EXPECT_EQ(ReadFile(output), FixtureSource(c.source)) << c.entry;
    std::string content;
    EXPECT_EQ(ExtractItemToString(right.get(), index, content), ArchiveResult::kOk);
    EXPECT_EQ(content, FixtureSource(c.source)) << c.entry;
  }
  // The password is used only for entries that are encrypted.
  std::string plain;
  EXPECT_EQ(ExtractItemToString(right.get(), Find(right.get(), L"plain.txt").index, plain), ArchiveResult::kOk);
  EXPECT_EQ(plain, FixtureSource(L"stored.txt"));

  for (std::optional<std::string> wrong : {std::optional<std::string>("Wrong-Pass"),
                                           std::optional<std::string>(password + "x"),
                                           std::optional<std::string>()}) {
    ArchiveHandle archive = OpenArchive(copy.path(), wrong);
    ASSERT_TRUE(archive);
    for (const auto& c : cases) {
      const int index = Find(archive.get(), c.entry).index;
      const std::wstring output = copy.work() + L"\\kept_" + c.entry;
      WriteWholeFile(output, "keep me");
      EXPECT_EQ(ExtractItemToFile(archive.get(), index, output), ArchiveResult::kWrongPassword) << c.entry;
      EXPECT_EQ(ReadFile(output), "keep me") << "a wrong password must not cost an existing file";
      char piece[64];
      std::size_t got = 0;
      EXPECT_EQ(ExtractItemToBuffer(archive.get(), index, piece, got), ArchiveResult::kWrongPassword);
    }
    std::string plain_again;
    EXPECT_EQ(ExtractItemToString(archive.get(), Find(archive.get(), L"plain.txt").index, plain_again),
              ArchiveResult::kOk);
  }
}

TEST(ZipArchive, ReadsTheSettingsEntryByItsControlCharacterName) {
  ArchiveHandle archive = OpenArchive(FixturePath(L"settings.zip"), FixtureSource(L"settings_password.bin"));
  ASSERT_TRUE(archive);
  const std::wstring name = {0x0001, 0x0002, 0x001E, 0x0004, 0x0005};
  ArchiveItem item;
  int index = -1;
  ASSERT_EQ(FindArchiveItem(archive.get(), name, true, index, item), ArchiveResult::kOk);
  std::string content;
  ASSERT_EQ(ExtractItemToString(archive.get(), index, content), ArchiveResult::kOk);
  EXPECT_EQ(content, "<settings><fields><threadcount>4</threadcount></fields></settings>");
}

TEST(ZipArchive, CorruptDataIsReportedAndLeavesNoFile) {
  ArchiveCopy copy(L"corrupt.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  for (const wchar_t* entry : {L"deflated.txt", L"stored.txt"}) {
    const int index = Find(archive.get(), entry).index;
    const std::wstring output = copy.work() + L"\\out_" + entry;
    EXPECT_EQ(ExtractItemToFile(archive.get(), index, output), ArchiveResult::kCorruptData) << entry;
    EXPECT_FALSE(FileExists(output)) << entry;
    std::string content;
    EXPECT_EQ(ExtractItemToString(archive.get(), index, content), ArchiveResult::kCorruptData) << entry;
    EXPECT_TRUE(content.empty());
  }
}

TEST(ZipArchive, FilesThatAreNotArchivesDoNotOpen) {
  for (const wchar_t* name : {L"not_a_zip.zip", L"zero_bytes.zip", L"truncated.zip", L"no_such_file.zip"}) {
    ArchiveResult result = ArchiveResult::kOk;
    ArchiveHandle archive = OpenArchive(FixturePath(name), std::nullopt, &result);
    EXPECT_FALSE(archive) << name;
    EXPECT_NE(result, ArchiveResult::kOk) << name;
  }
}

TEST(ZipArchive, BadArgumentsAreRejected) {
  ArchiveHandle archive = OpenArchive(FixturePath(L"plain.zip"));
  ASSERT_TRUE(archive);
  const int count = EntryCount(archive.get());
  ArchiveItem item;
  int index = 0;
  char piece[16];
  std::size_t got = 0;
  std::string content;
  for (int bad : {-2, count, count + 100}) {
    EXPECT_EQ(GetArchiveItem(archive.get(), bad, item), ArchiveResult::kBadArguments) << bad;
    EXPECT_EQ(ExtractItemToFile(archive.get(), bad, L"C:\\never.txt"), ArchiveResult::kBadArguments) << bad;
    EXPECT_EQ(ExtractItemToBuffer(archive.get(), bad, piece, got), ArchiveResult::kBadArguments) << bad;
    EXPECT_EQ(ExtractItemToString(archive.get(), bad, content), ArchiveResult::kBadArguments) << bad;
  }
  EXPECT_EQ(ExtractItemToBuffer(archive.get(), 0, std::span<char>(), got), ArchiveResult::kBadArguments);
  EXPECT_EQ(GetArchiveItem(nullptr, 0, item), ArchiveResult::kBadArguments);
  EXPECT_EQ(FindArchiveItem(nullptr, L"stored.txt", false, index, item), ArchiveResult::kBadArguments);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(ExtractItemToFile(nullptr, 0, L"C:\\never.txt"), ArchiveResult::kBadArguments);
  EXPECT_EQ(ExtractItemToBuffer(nullptr, 0, piece, got), ArchiveResult::kBadArguments);

  EXPECT_EQ(CloseArchive(archive), ArchiveResult::kOk);
  EXPECT_FALSE(archive);
  EXPECT_EQ(CloseArchive(archive), ArchiveResult::kBadArguments);
}

TEST(ZipArchive, StoredNamesNeverLeadOutOfTheFolder) {
  ArchiveCopy copy(L"names.zip");
  ArchiveHandle archive = OpenArchive(copy.path());
  ASSERT_TRUE(archive);
  std::vector<std::wstring> names;
  for (int i = 0; i < EntryCount(archive.get()); ++i) {
    ArchiveItem item;
    ASSERT_EQ(GetArchiveItem(archive.get(), i, item), ArchiveResult::kOk);
    names.push_back(item.name);
    ASSERT_EQ(ExtractItemToFile(archive.get(), i, item.name), ArchiveResult::kOk) << item.name;
    EXPECT_TRUE(FileExists(copy.work() + L"\\" + item.name)) << item.name;
  }
  const std::vector<std::wstring> expected = {L"parent.txt", L"drive.txt",      L"up.txt",   L"b/steps.txt",
                                              L"rooted.txt", L"sub/inside.txt", L"mixed.txt"};
  EXPECT_EQ(names, expected);

  // A relative output path with parent steps is held inside the folder too.
  ASSERT_EQ(ExtractItemToFile(archive.get(), 0, L"..\\..\\escape.txt"), ArchiveResult::kOk);
  EXPECT_TRUE(FileExists(copy.work() + L"\\escape.txt"));
  EXPECT_EQ(FolderContent(copy.outside()), std::vector<std::wstring>{L"work"});
}

// Drive prefixes are dropped from names; a ":" after that is a data stream.
TEST(ZipArchive, AnEntryNamingADataStreamRefusesTheArchive) {
  ArchiveCopy copy(L"data_stream.zip");
  ArchiveResult result = ArchiveResult::kOk;
  ArchiveHandle archive = OpenArchive(copy.path(), std::nullopt, &result);
  EXPECT_FALSE(archive);
  EXPECT_EQ(result, ArchiveResult::kHeaderFailed);
  EXPECT_EQ(FolderContent(copy.work()), std::vector<std::wstring>{L"data_stream.zip"});
}

}  // namespace
}  // namespace tarvolin
