// Rules about paths that decide what the program may touch. No Windows headers
// here, so the rules can be compiled and tested natively too.
#pragma once

#include <string>
#include <string_view>

namespace tarvolin {

// True for "X:", "X:\" and "\\server\share"-style roots and for the empty path:
// folders that are never removed as a whole.
bool IsRootOrEmptyPath(std::wstring_view path);

// True when `path` names something strictly inside `folder`, judged on the text
// alone: the same drive and folders (case-insensitive, "/" taken as "\"), and
// no part of the rest that could lead back out or name something else (".",
// "..", a part made of dots and blanks only, an empty part, a ":" of a stream
// or device). A path that cannot be judged is not inside.
bool IsInsideFolder(std::wstring_view path, std::wstring_view folder);

}  // namespace tarvolin
