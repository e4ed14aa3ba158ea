// The packed-or-plain fetch: a file the publisher offers both as itself and
// packed (its address + "._.zip") is fetched in the form asked for first, in
// the other form when that fails, and a packed copy is unpacked to the target.
// It knows nothing of list records: the scheduler parks what it returns and the
// list retrieval remembers which form worked.
//
// Threads: runs on the caller's thread; transfer messages go to the request's
// window by SendMessageW.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tarvolin {

// The packed form of a file, on the server and beside the target.
inline constexpr wchar_t kZippedSuffix[] = L"._.zip";
// A fetched file waits in the download folder under its name + this.
inline constexpr wchar_t kParkedSuffix[] = L"_";

struct PackedFetchRequest {
  std::wstring url;
  std::wstring target;
  bool packed_first = true;
  // Off: a packed copy is left as it came, in target + kZippedSuffix.
  bool unzip = true;
  int threads = 1;
  // One connection that gives up at its first failure.
  bool single_stream = false;
  HWND window = nullptr;
  WPARAM caller_value = 0;
};

enum class FetchedForm {
  kNone,      // both forms failed; nothing of them is left
  kPlain,     // the target holds the plain file
  kPacked,    // unzip off: target + kZippedSuffix holds the packed file
  kUnpacked,  // the target holds the file unpacked from the packed form
};

// What each attempt came to, for the caller's notes: a format of the
// translation tables ("error[%s]", "done[%s]", "unzip ok[%s]", "unzip error[%s]")
// and the address or file it names.
using FetchNote = std::function<void(const wchar_t* format, const std::wstring& value)>;

// Two attempts at most: the first form, then the other (after a failed
// transfer or a packed copy that does not unpack).
FetchedForm FetchPackedOrPlain(const PackedFetchRequest& request, const FetchNote& note = {});

}  // namespace tarvolin
