#include "common/files.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "common/path_rules.h"
#include "common/unique_handle.h"

namespace tarvolin {
namespace {

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Opens the entry itself, never what a link points to. Without FILE_SHARE_DELETE
// nobody can rename or replace the entry (say by a link) while it is open.
// Without the right to delete it, the entry is still opened, so that a folder
// we may empty but not remove is at least emptied.
unique_hfile OpenEntry(const std::wstring& path) {
  constexpr DWORD kFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  constexpr DWORD kLook = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
  unique_hfile entry(::CreateFileW(path.c_str(), kLook | DELETE, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
  if (!entry) entry.reset(::CreateFileW(path.c_str(), kLook, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
  return entry;
}

DWORD AttributesOf(HANDLE entry) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  return ::GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ? tag.FileAttributes
                                                                                         : INVALID_FILE_ATTRIBUTES;
}

// Marks the open entry for deletion; it goes when its last handle closes.
bool DeleteOpened(HANDLE entry, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic = {};  // zero times: left as they are
    basic.FileAttributes = (attributes & kSettable) ? (attributes & kSettable) : FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return ::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

void DeleteEntry(const std::wstring& path, DWORD listed);

// Lists the folder through a handle of its own: a listing opened the usual way
// (FindFirstFileW) may not share the folder with the handle that holds it.
void DeleteContents(const std::wstring& folder) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  unique_hfile listing(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
  if (!listing) return;
  std::vector<std::pair<std::wstring, DWORD>> entries;
  alignas(LONGLONG) BYTE buffer[16 * 1024];
  FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(listing.get(), next, buffer, sizeof buffer)) {
    next = FileIdBothDirectoryInfo;
    for (const BYTE* at = buffer;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") entries.emplace_back(std::move(name), entry->FileAttributes);
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  listing.reset();
  for (const auto& [name, attributes] : entries) DeleteEntry(folder + L"\\" + name, attributes);
}

// `listed` is what the folder listing said about the entry. Some systems open
// what a link points to even when asked for the link itself; such a link is
// seen only in the listing, and since deleting through that handle would
// reach outside the tree, it stays.
void DeleteEntry(const std::wstring& path, DWORD listed) {
  unique_hfile entry = OpenEntry(path);
  if (!entry) return;
  const DWORD opened = AttributesOf(entry.get());
  if (opened == INVALID_FILE_ATTRIBUTES) return;
  if (IsLink(listed) || IsLink(opened)) {
    if (IsLink(opened)) DeleteOpened(entry.get(), opened);  // the link, never its target
    return;
  }
  // The open handle keeps this very folder in place while it is emptied.
  if (opened & FILE_ATTRIBUTE_DIRECTORY) DeleteContents(path);
  DeleteOpened(entry.get(), opened);
}

}  // namespace

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

bool DeleteTree(const std::wstring& folder) {
  std::wstring top = folder;
  while (!top.empty() && (top.back() == L'\\' || top.back() == L'/')) top.pop_back();
  if (IsRootOrEmptyPath(top)) return false;
  const DWORD listed = ::GetFileAttributesW(top.c_str());
  if (listed == INVALID_FILE_ATTRIBUTES || !(listed & FILE_ATTRIBUTE_DIRECTORY)) return false;
  DeleteEntry(top, listed);
  return !FileExists(top);
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
