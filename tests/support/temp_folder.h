// A fresh folder under the system temporary folder, removed with everything in it.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Without a trailing backslash.
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes text as bytes of the ANSI code page.
void WriteTextFile(const std::wstring& path, const std::wstring& text);
std::wstring ReadTextFile(const std::wstring& path);

// Polls for a file that another process writes; false when it never came.
bool WaitForFile(const std::wstring& path, DWORD limit_ms = 30000);

// Makes a folder the process's current one while alive: programs started
// without a folder of their own inherit it.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::wstring& folder);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  std::wstring previous_;
};

}  // namespace tarvolin::testing
