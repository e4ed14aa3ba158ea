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

// True when `path` is `target` itself or lies inside it, compared by whole
// parts (case-insensitive, "/" taken as "\\"): "C:\\Book\\a.exe" is not
// "C:\\Book\\a.ex", nor inside "C:\\Bo". Used to tell the programs a kill task means.
bool IsPathOrInside(std::wstring_view path, std::wstring_view target);

// True when `name` can only name a file directly inside whatever folder it is
// joined to: no folder part, drive, root or stream (no "\\", "/" or ":"), none
// of the characters the system refuses in names, not made of dots and blanks,
// no trailing dot or blank (the system would drop it), and not a device name
// (CON, NUL, COM1 ... with or without an extension).
bool IsBareFileName(std::wstring_view name);

}  // namespace tarvolin
