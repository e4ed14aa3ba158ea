// Reply headers and addresses of a transfer, as the Internet layer hands them
// over (UTF-16). The first line is a Content-Range value, whose numbers then
// drive the block plan and the progress scaling as a download's size would;
// the second is an address to escape; the third and fourth are the proxy
// values of the configuration that the server sends.
#include "support/fuzz_input.h"
#include "download/transfer_rules.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {

void CheckSizes(std::int64_t size, int threads) {
  const BlockPlan plan = ComputeBlockPlan(size, threads);
  FUZZ_CHECK(plan.block_count >= 1 && plan.block_size >= kMinimumBlockSize);
  std::int64_t covered = 0;
  for (int i = 0; i < plan.block_count && i < 64; ++i) covered += BlockLength(plan, size, i);
  if (plan.block_count <= 64) FUZZ_CHECK(covered == size);
  const int shift = MessageShift(size);
  FUZZ_CHECK(ScaledForMessage(size, shift) <= 0x7FFFFFFF);
  ClosedRangeHeader(0, size - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> lines = Lines(Bytes(data, size));
  auto line = [&lines](std::size_t i) { return i < lines.size() ? Utf8ToUnits(lines[i]) : std::wstring(); };
  const int threads = size % 17;

  if (auto range = ParseContentRange(line(0))) {
    FUZZ_CHECK(range->first >= 0 && range->first <= range->last);
    FUZZ_CHECK(range->total == -1 || range->last < range->total);
    CheckSizes(range->total >= 0 ? range->total : range->last + 1, threads);
    FUZZ_CHECK(ClampedAdd(range->first, range->last, range->total) >= 0);
  }

  const std::wstring escaped = PercentEncodeUrl(line(1));
  for (wchar_t c : escaped) {
    FUZZ_CHECK(c > L' ' && c < 0x7F);
    FUZZ_CHECK(std::wstring_view(L"\"<>#{}|\\^~[]`").find(c) == std::wstring_view::npos);
  }

  if (auto proxy = ParseProxySetting(line(2))) ProxyString(*proxy);
  ParseProxyUser(line(3));
  return 0;
}
