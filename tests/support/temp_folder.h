// A fresh folder under the system temporary folder, removed with everything in it.
#pragma once

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

}  // namespace tarvolin::testing
