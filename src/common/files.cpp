#include "common/files.h"

#include <windows.h>

#include "common/unique_handle.h"

namespace tarvolin {

bool FileExists(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryTree(const std::wstring& path) {
  std::wstring folder = path;
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (folder.empty() || DirectoryExists(folder)) return !folder.empty();
  std::wstring parent = FolderOf(folder);
  if (!parent.empty() && parent != folder && !(parent.size() == 2 && parent[1] == L':')) CreateDirectoryTree(parent);
  return ::CreateDirectoryW(folder.c_str(), nullptr) || DirectoryExists(folder);
}

bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return bytes.empty() ||
         (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
          written == bytes.size());
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string data;
  char buffer[64 * 1024];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
  return data;
}

void RemoveFolderTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  unique_hfind find(::FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
  if (find) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(full);
      } else {
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  ::RemoveDirectoryW(folder.c_str());
}

bool RobustRename(const std::wstring& source, const std::wstring& destination) {
  constexpr int kTries = 20;
  constexpr DWORD kPauseMs = 800;
  if (!FileExists(source)) return false;
  for (int i = 0; i < kTries && FileExists(destination); ++i) {
    ::SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(destination.c_str());
    if (!FileExists(destination)) break;
    ::Sleep(kPauseMs);
  }
  for (int i = 0; i < kTries; ++i) {
    // Only a move that happened counts: a destination that could not be
    // deleted must not pass for the new file.
    if (::MoveFileW(source.c_str(), destination.c_str()) && FileExists(destination)) return true;
    ::Sleep(kPauseMs);
  }
  return false;
}

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring FolderOf(const std::wstring& path) {
  std::size_t pos = path.find_last_of(L"\\/");
  return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos);
}

std::wstring FileNameOf(const std::wstring& path) {
  std::size_t pos = path.find_last_of(L"\\/");
  return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

std::wstring WindowsFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, n < MAX_PATH ? n : 0);
}

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, n < MAX_PATH ? n : 0);
}

std::optional<long long> FileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace tarvolin
