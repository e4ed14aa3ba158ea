// What the end-to-end tests share: where the test book lives, which loopback
// port its build asks for its configuration, and a host window that records
// the statuses the program announces.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "status_host.h"
#include "support/process.h"

namespace tarvolin::e2e {

using testing::IsSubsequence;
using testing::LoopbackPort;
using testing::StatusHost;

inline std::wstring BookFolder() { return WindowsFolder().substr(0, 3) + L"Brennoak\\Vosmir\\TarvolinE2EBook"; }
inline std::wstring InBook(const std::wstring& name) { return BookFolder() + L"\\" + name; }
inline std::wstring Program() { return L"\"" + testing::BuildOutputFolder() + L"\\tarvolin_testbook.exe\""; }

// `size` bytes of text that tell one file's content from another's.
inline std::string Bytes(const std::string& name, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += name + std::to_string(bytes.size()) + ",";
  bytes.resize(size);
  return bytes;
}

}  // namespace tarvolin::e2e
