// A due file made from the installed one and a small patch, instead of the
// whole file: the installed bytes are hashed, a patch made from exactly them
// is fetched through the block transfer, applied, and its result checked
// against the list's sha256. Anything short of that leaves the whole file to
// the normal fetch, with one log line saying why.
//
// Threads: runs on a file thread of the scheduler; transfer messages go to
// `window` by SendMessageW.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "updatelist/update_record.h"

namespace tarvolin {

// Why a patch was not used.
enum class PatchFallback { kNoMatch, kDownloadError, kDecodeError, kDigestMismatch, kTooLarge };
// The reason as the log line says it.
const wchar_t* PatchFallbackText(PatchFallback reason);

// Where the patch waits while it is applied: beside the target.
inline constexpr wchar_t kPatchSuffix[] = L".patch";

// For a record with patch offers: true when `target` now holds the verified
// file. False (after one log line) when the whole file must be fetched, and
// false without a word for a record that offers no patch.
bool FetchThroughPatch(HWND window, int index, const updatefileinfo& record, const std::wstring& target);

}  // namespace tarvolin
