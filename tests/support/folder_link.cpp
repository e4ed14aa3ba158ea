#include "support/folder_link.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "common/unique_handle.h"
#include "support/process.h"

namespace tarvolin::testing {
namespace {

bool ListedAsFolderLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  constexpr DWORD kFolderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kFolderLink) == kFolderLink;
}

// The mount-point form of REPARSE_DATA_BUFFER, which the SDK keeps in driver headers.
struct MountPointReparseBuffer {
  DWORD ReparseTag;
  WORD ReparseDataLength;
  WORD Reserved;
  WORD SubstituteNameOffset;
  WORD SubstituteNameLength;
  WORD PrintNameOffset;
  WORD PrintNameLength;
  WCHAR PathBuffer[2 * MAX_PATH + 8];
};

bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  const std::wstring substitute = L"\\??\\" + target;
  if (substitute.size() + target.size() + 2 > 2 * MAX_PATH + 8) return false;
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
  unique_hfile folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  MountPointReparseBuffer buffer = {};
  buffer.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
  const WORD substitute_bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  const WORD print_bytes = static_cast<WORD>(target.size() * sizeof(wchar_t));
  std::memcpy(buffer.PathBuffer, substitute.c_str(), substitute_bytes + sizeof(wchar_t));
  std::memcpy(buffer.PathBuffer + substitute.size() + 1, target.c_str(), print_bytes + sizeof(wchar_t));
  buffer.SubstituteNameLength = substitute_bytes;
  buffer.PrintNameOffset = static_cast<WORD>(substitute_bytes + sizeof(wchar_t));
  buffer.PrintNameLength = print_bytes;
  buffer.ReparseDataLength = static_cast<WORD>(8 + substitute_bytes + print_bytes + 2 * sizeof(wchar_t));
  DWORD returned = 0;
  const bool made = folder && ::DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, &buffer,
                                                buffer.ReparseDataLength + 8, nullptr, 0, &returned, nullptr);
  folder.reset();
  if (!made) ::RemoveDirectoryW(link.c_str());
  return made;
}

// Wine's own export that turns a Windows path into the Unix one.
std::string UnixPathOf(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  auto to_unix = reinterpret_cast<ToUnix>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (to_unix == nullptr) return std::string();
  char* unix_path = to_unix(path.c_str());
  if (unix_path == nullptr) return std::string();
  std::string result = unix_path;
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
  const std::size_t cut = link.find_last_of(L'\\');
  const std::string unix_target = UnixPathOf(target);
  const std::string unix_parent = cut == std::wstring::npos ? std::string() : UnixPathOf(link.substr(0, cut));
  if (unix_target.empty() || unix_parent.empty()) return false;
  // Wine starts Unix programs by their path on drive Z:, which maps "/". It
  // does not see them end, so the link is waited for instead of the program.
  RunAndWait(L"Z:\\bin\\ln -s \"" + Widened(unix_target) + L"\" \"" + Widened(unix_parent) + L"/" +
                 link.substr(cut + 1) + L"\"",
             0);
  for (int i = 0; i < 100 && !ListedAsFolderLink(link); ++i) ::Sleep(50);
  return true;
}

}  // namespace

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
  if (MakeJunction(link, target) && ListedAsFolderLink(link)) return true;
  return MakeUnixLink(link, target) && ListedAsFolderLink(link);
}

}  // namespace tarvolin::testing
