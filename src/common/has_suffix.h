// The file-name suffix test used wherever a name's kind decides what to do
// (".xml" task scripts, ".exe" and ".dll" modules). No Windows headers.
#pragma once

#include <string_view>

namespace tarvolin {

// End marker appended to the name before the suffix is looked for. It cannot
// occur in a file name ('*' is not allowed there), so a match of suffix + marker
// can only sit at the very end.
inline constexpr wchar_t kSuffixSentinel[] = L"*#06#";

// True when `name` ends with `suffix`, ignoring letter case, and has something
// before it: the bare name ".exe" is not an ".exe" file.
bool HasSuffix(std::wstring_view name, std::wstring_view suffix);

}  // namespace tarvolin
