// The patch decoder over hostile input: the first four bytes give the length
// of the reference (the "installed file"), the reference follows, the rest is
// the patch, fed in pieces whose sizes come from the input too. Whatever the
// bytes, the apply ends with an outcome, writes nothing when it refuses the
// header, and stays within the memory cap it is given.
#include <algorithm>
#include <cstring>

#include "archive/patch_decoder.h"
#include "support/fuzz_input.h"

using namespace tarvolin;

namespace {
// Small enough that a claimed window can never exhaust the fuzzer's memory.
constexpr std::uint64_t kFuzzCap = std::uint64_t{16} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::uint32_t claimed = 0;
  std::memcpy(&claimed, data, 4);
  const std::size_t piece = 1 + data[4] % 64;
  data += 5;
  size -= 5;
  const std::size_t reference_size = std::min<std::size_t>(claimed, size);
  const std::span<const std::uint8_t> reference(data, reference_size);
  const std::span<const std::uint8_t> patch(data + reference_size, size - reference_size);

  std::size_t at = 0;
  auto input = [&](std::uint8_t* buffer, std::size_t capacity) -> long long {
    const std::size_t count = std::min({capacity, piece, patch.size() - at});
    std::memcpy(buffer, patch.data() + at, count);
    at += count;
    return static_cast<long long>(count);
  };
  std::uint64_t written = 0;
  auto output = [&](const std::uint8_t*, std::size_t count) {
    written += count;
    return true;
  };
  const PatchOutcome outcome = ApplyPatch(reference, input, output, kFuzzCap);
  FUZZ_CHECK(outcome == PatchOutcome::kApplied || outcome == PatchOutcome::kDecodeError ||
             outcome == PatchOutcome::kTooLarge);
  if (outcome == PatchOutcome::kTooLarge) FUZZ_CHECK(written == 0);
  return 0;
}
