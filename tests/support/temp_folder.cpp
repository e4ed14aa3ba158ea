#include "support/temp_folder.h"

#include <windows.h>

#include <atomic>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"

namespace tarvolin::testing {

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  path_ = FormatWide(L"%lstarvolin-test-%lu-%d-%lu", temp, ::GetCurrentProcessId(), counter++, ::GetTickCount());
  CreateDirectoryTree(path_);
}

TempFolder::~TempFolder() { DeleteTree(path_); }

void WriteTextFile(const std::wstring& path, const std::wstring& text) { WriteWholeFile(path, WideToAnsi(text)); }

std::wstring ReadTextFile(const std::wstring& path) { return AnsiToWide(ReadWholeFile(path).value_or("")); }

bool WaitForFile(const std::wstring& path, DWORD limit_ms) {
  const DWORD started = ::GetTickCount();
  while (!FileExists(path)) {
    if (::GetTickCount() - started > limit_ms) return false;
    ::Sleep(50);
  }
  return true;
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::wstring& folder) {
  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  previous_ = previous;
  ::SetCurrentDirectoryW(folder.c_str());
}

ScopedCurrentFolder::~ScopedCurrentFolder() { ::SetCurrentDirectoryW(previous_.c_str()); }

}  // namespace tarvolin::testing
