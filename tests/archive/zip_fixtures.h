// Where the archive tests find the zip files the build made for them, and a
// private copy of one inside a temporary folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/files.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace tarvolin::testing {

inline std::wstring FixturePath(const std::wstring& name) { return BuildOutputFolder() + L"\\zip_fixtures\\" + name; }

// The original bytes of a fixture's entry (zip_fixtures\src).
inline std::string FixtureSource(const std::wstring& name) {
  return ReadWholeFile(FixturePath(L"src\\" + name)).value_or("<missing fixture source>");
}

// Names in a folder, without "." and "..".
inline std::vector<std::wstring> FolderContent(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return names;
}

// A fixture copied to <temp>\work\<name>, so relative extraction lands in
// <temp>\work and anything that escapes shows up in <temp>.
class ArchiveCopy {
 public:
  explicit ArchiveCopy(const std::wstring& fixture) {
    CreateDirectoryTree(work());
    path_ = work() + L"\\" + fixture;
    ::CopyFileW(FixturePath(fixture).c_str(), path_.c_str(), FALSE);
  }
  const std::wstring& path() const { return path_; }
  std::wstring work() const { return temp_ / L"work"; }
  std::wstring outside() const { return temp_.path(); }

 private:
  TempFolder temp_;
  std::wstring path_;
};

}  // namespace tarvolin::testing
