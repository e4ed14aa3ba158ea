// Applying a binary patch: one zstd frame made against an older release of a
// file, which the decoder takes as its raw reference ("prefix"). The output is
// streamed; memory stays within a stated cap. No Windows headers here, so the
// loop can be fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace tarvolin {

// What applying a patch may hold in memory at once: the installed file (the
// reference) plus the decoder's window. Files beyond it are fetched whole.
inline constexpr std::uint64_t kPatchMemoryCap = std::uint64_t{256} << 20;

enum class PatchOutcome {
  kApplied,
  kTooLarge,     // reference + window would not fit under the cap
  kDecodeError,  // not one complete, valid frame, or the input could not be read
  kOutputError,  // the output would not take the bytes
};

// Fills up to `capacity` bytes; the count read, 0 at the end, -1 on a read error.
using PatchInput = std::function<long long(std::uint8_t* buffer, std::size_t capacity)>;
// Takes `count` bytes of the result; false when they could not be stored.
using PatchOutput = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

// True when a reference of `reference_bytes` and a window of `window_bytes`
// fit under `memory_cap` together.
bool PatchFitsMemoryCap(std::uint64_t reference_bytes, std::uint64_t window_bytes, std::uint64_t memory_cap);

// Decodes the patch read from `input` against `reference`, writing the result
// to `output`. The patch must be exactly one frame with nothing after it.
PatchOutcome ApplyPatch(std::span<const std::uint8_t> reference, const PatchInput& input, const PatchOutput& output,
                        std::uint64_t memory_cap = kPatchMemoryCap);

}  // namespace tarvolin
