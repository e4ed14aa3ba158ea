// What a reader would notice of a folder, to compare it before and after a run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "common/files.h"
#include "common/unique_handle.h"

namespace tarvolin::testing {

// Short files as they are; long ones by their start, length and a hash, so
// that a failed comparison stays readable.
inline std::string Fingerprint(const std::optional<std::string>& bytes) {
  if (!bytes) return "<unreadable>";
  constexpr std::size_t kShown = 40;
  if (bytes->size() <= kShown) return *bytes;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : *bytes) hash = (hash ^ c) * 1099511628211ull;
  return bytes->substr(0, kShown) + "... <" + std::to_string(bytes->size()) + " bytes, " + std::to_string(hash) + ">";
}

// Every file and folder under `folder` (relative names) with a file's bytes
// and whether it is read-only; folders map to "<folder>". `skipped` (a name
// directly in `folder`, such as the log every run appends to) is left out.
inline void AddToSnapshot(const std::wstring& folder, const std::wstring& relative, const std::wstring& skipped,
                          std::map<std::wstring, std::string>& snapshot) {
  WIN32_FIND_DATAW entry;
  unique_hfind find(::FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L".." || (relative.empty() && name == skipped)) continue;
    const std::wstring path = relative + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      snapshot[path] = "<folder>";
      AddToSnapshot(folder, path + L"\\", skipped, snapshot);
    } else {
      const std::string flag = (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? "<read-only>" : "";
      snapshot[path] = flag + Fingerprint(ReadWholeFile(folder + L"\\" + path));
    }
  } while (::FindNextFileW(find.get(), &entry));
}

inline std::map<std::wstring, std::string> FolderSnapshot(const std::wstring& folder, const std::wstring& skipped) {
  std::map<std::wstring, std::string> snapshot;
  AddToSnapshot(folder, L"", skipped, snapshot);
  return snapshot;
}

}  // namespace tarvolin::testing
