// Files whose blocks are not whole read pieces: every block but the last is
// followed by more body on its open-ended range, and the last ends short.
#include <gtest/gtest.h>

#include "common/files.h"
#include "common/strings.h"
#include "download/file_downloader.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST(UnalignedBlocks, EveryThreadCountGivesTheSameBytes) {
  ASSERT_TRUE(testing::PublisherAvailable());
  ASSERT_TRUE(testing::ResetPublisher());
  testing::TempFolder folder;
  // Sizes whose block plans leave remainders of every kind against a 64 KiB piece.
  for (std::size_t size : {759574u, 400000u, 1000003u, 65537u}) {
    std::string bytes = Pattern(size);
    ASSERT_TRUE(testing::PutPublishedFile("unaligned.bin", bytes));
    for (const std::wstring& server : {testing::PublisherUrl(), testing::NginxUrl()}) {
      for (int threads : {2, 3, 4, 8}) {
        std::wstring target = folder / L"out.bin";
        EXPECT_EQ(DownloadFile(server + L"/unaligned.bin", target, threads, 0, nullptr), 0)
            << size << " bytes, " << threads << " threads";
        EXPECT_TRUE(ReadWholeFile(target).value_or("") == bytes) << size << " bytes, " << threads << " threads";
        ::DeleteFileW(target.c_str());
      }
    }
  }
}

}  // namespace
}  // namespace tarvolin
