// A file of more than 4 GiB: every size, offset, counter and message of the
// engine must be 64-bit or scaled, and nothing may read the file into memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "download/file_downloader.h"
#include "download/transfer_messages.h"
#include "download/transfer_rules.h"
#include "transfer_fixture.h"

namespace tarvolin::testing {
namespace {

namespace msg = transfer_messages;

// The publisher's generated bodies: a linear congruential byte sequence with
// a prime period (tests/publisher/publisher.py, generated_pattern).
constexpr std::size_t kGeneratedPeriod = 1048573;

std::vector<unsigned char> GeneratedPattern() {
  std::vector<unsigned char> pattern(kGeneratedPeriod);
  std::uint32_t x = 1;
  for (unsigned char& byte : pattern) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    byte = static_cast<unsigned char>((x >> 16) & 0xFF);
  }
  return pattern;
}

// Offset of the first byte that differs from the generated body, or -1.
std::int64_t FirstDifference(const std::wstring& path, std::int64_t size) {
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return 0;
  const std::vector<unsigned char> pattern = GeneratedPattern();
  std::vector<unsigned char> piece(kGeneratedPeriod);
  std::int64_t offset = 0;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr)) return offset;
    if (got == 0) break;
    // The piece is compared in at most two runs against the pattern, from where the
    // period stands at its offset: a byte-by-byte 64-bit modulo is slow on x86,
    // the more so under emulation.
    std::size_t done = 0;
    while (done < got) {
      const auto phase = static_cast<std::size_t>((offset + done) % kGeneratedPeriod);
      const std::size_t run = std::min<std::size_t>(got - done, kGeneratedPeriod - phase);
      if (std::memcmp(piece.data() + done, pattern.data() + phase, run) != 0) {
        for (std::size_t i = 0; i < run; ++i) {
          if (piece[done + i] != pattern[phase + i]) return offset + static_cast<std::int64_t>(done + i);
        }
      }
      done += run;
    }
    offset += got;
  }
  return offset == size ? -1 : offset;
}

using LargeFileTest = TransferTest;

TEST_F(LargeFileTest, FileBeyondFourGiBDownloadsInBlocksAndJoinsByteForByte) {
  const std::int64_t size = (4LL << 30) + 3 * 1024 * 1024 + 17;
  const std::string path = "/generated/" + std::to_string(size) + "/large.bin";
  const std::wstring target = configuration_ / L"large.bin";
  const BlockPlan plan = ComputeBlockPlan(size, 8);

  ProgressRecorder recorder;
  bool ok = false;
  std::int64_t announced = 0;
  RunPumping([&] {
    FileDownloader downloader;
    downloader.set_thread_count(8);
    ok = downloader.DownloadFile(UrlOf(PublisherUrl(), path), target, false, 1, recorder.window());
    announced = downloader.size();
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ(announced, size);
  EXPECT_TRUE(NoPartFiles(target, plan.block_count));
  EXPECT_EQ(FirstDifference(target, size), -1) << "the joined file differs from the served body";

  // Messages carry the size scaled so that it fits, and progress never wraps.
  const int shift = MessageShift(size);
  auto sizes = recorder.Messages(msg::kDownloadSize);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].lparam, ScaledForMessage(size, shift));
  auto progress = recorder.Messages(msg::kDownloadProgress);
  ASSERT_FALSE(progress.empty());
  // Block threads report concurrently, so two reports may arrive out of
  // order, but never further apart than a few pieces: a 32-bit wrap would
  // show as a drop of gigabytes or a negative value.
  const LPARAM reorder_slack = ScaledForMessage(64LL << 20, shift);
  LPARAM most = 0;
  for (const auto& m : progress) {
    EXPECT_GE(m.lparam, 0);
    EXPECT_LE(m.lparam, sizes[0].lparam);
    EXPECT_LE(most - m.lparam, reorder_slack) << "progress fell back from " << most << " to " << m.lparam;
    most = std::max(most, m.lparam);
  }
  EXPECT_EQ(progress.back().lparam, sizes[0].lparam);
  ::DeleteFileW(target.c_str());
}

}  // namespace
}  // namespace tarvolin::testing
