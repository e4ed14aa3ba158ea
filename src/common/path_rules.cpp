#include "common/path_rules.h"

#include <cwctype>

#include "common/strings.h"

namespace tarvolin {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "/" becomes "\", and trailing separators go.
std::wstring Normalised(std::wstring_view path) {
  std::wstring text = ReplaceAll(std::wstring(path), L"/", L"\\");
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  return text;
}

bool SameLetters(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

// The system drops trailing dots and blanks from every part of a path, so
// ". ." or "..." can walk like "..". Such parts, and empty ones, are refused.
bool IsPlainPart(std::wstring_view part) {
  const std::size_t last = part.find_last_not_of(L". ");
  return last != std::wstring_view::npos && part.find(L':') == std::wstring_view::npos;
}

// How much of a full path is its root: "X:" or "\\server\share". npos for a
// relative path or a device path ("\\?\", "\\.\"), which are not judged.
std::size_t RootLength(std::wstring_view path) {
  if (path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0])) return 2;
  if (path.size() < 3 || path[0] != L'\\' || path[1] != L'\\' || path[2] == L'?' || path[2] == L'.') {
    return std::wstring_view::npos;
  }
  const std::size_t server_end = path.find(L'\\', 2);
  if (server_end == std::wstring_view::npos || server_end == 2) return std::wstring_view::npos;
  const std::size_t share_end = path.find(L'\\', server_end + 1);
  return share_end == server_end + 1 ? std::wstring_view::npos : share_end;
}

// Names that open a device wherever they appear, with any extension.
bool IsDeviceName(std::wstring_view name) {
  std::wstring stem = ToLower(std::wstring(name.substr(0, name.find(L'.'))));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.starts_with(L"com") || stem.starts_with(L"lpt")) && stem[3] >= L'0' &&
         stem[3] <= L'9';
}

}  // namespace

bool IsBareFileName(std::wstring_view name) {
  constexpr std::size_t kMaxNameChars = 255;
  if (name.empty() || name.size() > kMaxNameChars) return false;
  for (wchar_t c : name) {
    if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
  }
  if (name.back() == L'.' || name.back() == L' ') return false;
  return IsPlainPart(name) && !IsDeviceName(name);
}

bool IsRootOrEmptyPath(std::wstring_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  if (path.empty()) return true;
  if (path.size() == 2 && path[1] == L':') return true;
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // A UNC root is the server and one share name.
    std::size_t parts = 0;
    for (const std::wstring& part : Split(Normalised(path.substr(2)), L'\\')) parts += part.empty() ? 0 : 1;
    return parts <= 2;
  }
  return false;
}

bool IsPathOrInside(std::wstring_view path, std::wstring_view target) {
  const std::wstring whole = Normalised(target);
  if (whole.empty() || RootLength(whole) == std::wstring_view::npos) return false;
  return SameLetters(Normalised(path), whole) || IsInsideFolder(path, whole);
}

bool IsInsideFolder(std::wstring_view path, std::wstring_view folder) {
  const std::wstring base = Normalised(folder);
  const std::wstring full = ReplaceAll(std::wstring(path), L"/", L"\\");
  if (base.empty() || full.size() <= base.size() + 1) return false;
  if (!SameLetters(std::wstring_view(full).substr(0, base.size()), base) || full[base.size()] != L'\\') return false;
  // The folder itself must be judged by the same rules, or a folder text with
  // ".." in it would let the rest climb out.
  const std::size_t root = RootLength(base);
  if (root == std::wstring_view::npos || root >= base.size()) return false;
  for (const std::wstring& part : Split(std::wstring_view(base).substr(root + 1), L'\\')) {
    if (!IsPlainPart(part)) return false;
  }
  for (const std::wstring& part : Split(std::wstring_view(full).substr(base.size() + 1), L'\\')) {
    if (!IsPlainPart(part)) return false;
  }
  return true;
}

}  // namespace tarvolin
