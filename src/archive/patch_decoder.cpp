#include "archive/patch_decoder.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader and the window limit
#include <zstd.h>

#include <memory>
#include <vector>

namespace tarvolin {
namespace {

struct DCtxFree {
  void operator()(ZSTD_DCtx* context) const noexcept { ZSTD_freeDCtx(context); }
};
using unique_dctx = std::unique_ptr<ZSTD_DCtx, DCtxFree>;

// The smallest power of two that holds `bytes`, as a log; at least the format's minimum.
int WindowLogFor(std::uint64_t bytes) {
  int log = ZSTD_WINDOWLOG_MIN;
  while (log < ZSTD_WINDOWLOG_MAX && (std::uint64_t{1} << log) < bytes) ++log;
  return log;
}

// Reads until the frame header is complete. Nothing when the input ends or
// fails first, or the bytes are no zstd frame.
bool ReadFrameHeader(const PatchInput& input, std::vector<std::uint8_t>& buffer, std::size_t& filled,
                     ZSTD_frameHeader& header) {
  for (;;) {
    const std::size_t needed = ZSTD_getFrameHeader(&header, buffer.data(), filled);
    if (ZSTD_isError(needed)) return false;
    if (needed == 0) return header.frameType == ZSTD_frame;
    if (needed > buffer.size()) return false;
    const long long got = input(buffer.data() + filled, buffer.size() - filled);
    if (got <= 0) return false;
    filled += static_cast<std::size_t>(got);
  }
}

}  // namespace

bool PatchFitsMemoryCap(std::uint64_t reference_bytes, std::uint64_t window_bytes, std::uint64_t memory_cap) {
  return reference_bytes <= memory_cap && window_bytes <= memory_cap - reference_bytes;
}

PatchOutcome ApplyPatch(std::span<const std::uint8_t> reference, const PatchInput& input, const PatchOutput& output,
                        std::uint64_t memory_cap) {
  if (!PatchFitsMemoryCap(reference.size(), 0, memory_cap)) return PatchOutcome::kTooLarge;
  std::vector<std::uint8_t> in_buffer(ZSTD_DStreamInSize());
  std::vector<std::uint8_t> out_buffer(ZSTD_DStreamOutSize());
  std::size_t filled = 0;
  ZSTD_frameHeader header{};
  if (!ReadFrameHeader(input, in_buffer, filled, header)) return PatchOutcome::kDecodeError;
  if (!PatchFitsMemoryCap(reference.size(), header.windowSize, memory_cap)) return PatchOutcome::kTooLarge;

  unique_dctx context(ZSTD_createDCtx());
  if (!context) return PatchOutcome::kTooLarge;
  // The decoder refuses any window beyond what the header announced (and the
  // cap allows), whatever a later part of the input claims.
  if (ZSTD_isError(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, WindowLogFor(header.windowSize))) ||
      ZSTD_isError(ZSTD_DCtx_refPrefix(context.get(), reference.data(), reference.size())))
    return PatchOutcome::kDecodeError;

  std::size_t pending = 1;  // what the decoder still expects; 0 once the frame is complete
  for (;;) {
    ZSTD_inBuffer in{in_buffer.data(), filled, 0};
    while (in.pos < in.size) {
      if (pending == 0) return PatchOutcome::kDecodeError;  // bytes after the one frame
      ZSTD_outBuffer out{out_buffer.data(), out_buffer.size(), 0};
      pending = ZSTD_decompressStream(context.get(), &out, &in);
      if (ZSTD_isError(pending)) return PatchOutcome::kDecodeError;
      if (out.pos > 0 && !output(out_buffer.data(), out.pos)) return PatchOutcome::kOutputError;
    }
    // The input is used up, but the decoder may still hold output for us.
    while (pending != 0) {
      ZSTD_outBuffer out{out_buffer.data(), out_buffer.size(), 0};
      ZSTD_inBuffer none{nullptr, 0, 0};
      pending = ZSTD_decompressStream(context.get(), &out, &none);
      if (ZSTD_isError(pending)) return PatchOutcome::kDecodeError;
      if (out.pos > 0 && !output(out_buffer.data(), out.pos)) return PatchOutcome::kOutputError;
      if (out.pos < out.size) break;  // it needs more input, not more room
    }
    const long long got = input(in_buffer.data(), in_buffer.size());
    if (got < 0) return PatchOutcome::kDecodeError;
    if (got == 0) return pending == 0 ? PatchOutcome::kApplied : PatchOutcome::kDecodeError;
    filled = static_cast<std::size_t>(got);
  }
}

}  // namespace tarvolin
