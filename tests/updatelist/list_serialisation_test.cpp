#include "updatelist/list_serialisation.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

DownloadListValues SampleList() {
  DownloadListValues values;
  values.status = 9;
  values.description = L"New chapters\r\n\x65B0\x7248";  // includes text outside ASCII
  values.tasks = {L"setup.exe9/s9yes9k", L"", L"b.exe999"};
  values.records = {
      {.url = L"http://h/a.dll", .path = L"bin\\a.dll", .dstName = L"a2.dll", .version = L"1.0",
       .spare = L"error[x]\ndone[y]\n", .shortcut = L"s", .shortcutIcon = L"i", .iconIndex = L"2",
       .action = ActionRegister | ActionBoot},
      {.path = L"", .action = 0x7FFFFFFF},
      {.path = L"\x6587\x4EF6.txt", .version = L"d41d8cd98f00b204e9800998ecf8427e", .action = ActionDelete,
       .sha256 = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
       .md5 = L"d41d8cd98f00b204e9800998ecf8427e",
       .patches = {{.from = std::wstring(64, L'a'), .url = L"p/a.zst", .size = 5},
                   {.from = std::wstring(64, L'b'), .url = L"http://h/b.zst", .size = (1LL << 40) + 3}}},
  };
  return values;
}

TEST(ListSerialisation, RoundTripKeepsEverything) {
  for (const DownloadListValues& original : {SampleList(), DownloadListValues{}}) {
    DownloadListValues copy;
    copy.status = 42;
    ASSERT_TRUE(DeserializeDownloadList(SerializeDownloadList(original), copy));
    EXPECT_EQ(copy, original);
  }
}

TEST(ListSerialisation, NegativeStatusSurvives) {
  DownloadListValues original;
  original.status = -1;
  DownloadListValues copy;
  ASSERT_TRUE(DeserializeDownloadList(SerializeDownloadList(original), copy));
  EXPECT_EQ(copy.status, -1);
}

// Whatever goes wrong, the target keeps what it had.
void ExpectRefused(std::string_view bytes, const char* what) {
  DownloadListValues target = SampleList();
  target.status = 3;
  const DownloadListValues before = target;
  EXPECT_FALSE(DeserializeDownloadList(bytes, target)) << what;
  EXPECT_EQ(target, before) << what;
}

TEST(ListSerialisation, EveryTruncationIsRefused) {
  const std::string image = SerializeDownloadList(SampleList());
  for (std::size_t length = 0; length < image.size(); ++length)
    ExpectRefused(std::string_view(image).substr(0, length), "truncated");
}

TEST(ListSerialisation, DamagedImagesAreRefused) {
  const std::string image = SerializeDownloadList(SampleList());
  auto patched = [&](std::size_t offset, std::string_view bytes) {
    std::string copy = image;
    copy.replace(offset, bytes.size(), bytes);
    return copy;
  };
  const std::string huge_count("\xFF\xFF\xFF\x7F", 4);
  // Description length sits right after magic, version and status.
  const std::size_t description_length = 12;
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"wrong magic", patched(0, "XVDL")},
      {"older version", patched(4, std::string("\x02\0\0\0", 4))},
      {"newer version", patched(4, std::string("\x04\0\0\0", 4))},
      {"trailing byte", image + "x"},
      {"description longer than the image", patched(description_length, huge_count)},
      {"not an image at all", "<?xml version=\"1.0\"?><update/>"},
      {"empty", ""},
  };
  for (const auto& c : cases) ExpectRefused(c.bytes, c.what);
}

TEST(ListSerialisation, ImpossibleCountsAreRefusedBeforeAllocating) {
  // A tiny image that claims four billion tasks or records must fail fast.
  DownloadListValues empty;
  std::string image = SerializeDownloadList(empty);
  const std::size_t task_count = image.size() - 8, record_count = image.size() - 4;
  for (std::size_t offset : {task_count, record_count}) {
    std::string damaged = image;
    damaged.replace(offset, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    ExpectRefused(damaged, "count");
  }
}

TEST(ListSerialisation, ArbitraryBytesNeverCrash) {
  // A fixed pseudo-random sequence: bytes after a valid header, so the reader
  // gets past the magic and version and meets the garbage.
  const std::string header = SerializeDownloadList({}).substr(0, 8);
  std::uint32_t state = 12345;
  for (int round = 0; round < 200; ++round) {
    std::string bytes = header;
    for (int i = 0; i < round; ++i) {
      state = state * 1103515245u + 12345u;
      bytes.push_back(static_cast<char>(state >> 16));
    }
    DownloadListValues target = SampleList();
    if (!DeserializeDownloadList(bytes, target)) {
      EXPECT_EQ(target, SampleList());
    }
  }
}

}  // namespace
}  // namespace tarvolin
