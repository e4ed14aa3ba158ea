// Applying a binary patch held in a file to an installed file, writing the
// result to a third file. Threads: any; each call owns its files.
#pragma once

#include <cstdint>
#include <string>

#include "archive/patch_decoder.h"

namespace tarvolin {

// The installed file is read into memory whole (it is the decoder's reference),
// so it counts against `memory_cap` with the patch's window. On any outcome but
// kApplied nothing is left at `output`.
PatchOutcome ApplyPatchFile(const std::wstring& installed, const std::wstring& patch, const std::wstring& output,
                            std::uint64_t memory_cap = kPatchMemoryCap);

}  // namespace tarvolin
