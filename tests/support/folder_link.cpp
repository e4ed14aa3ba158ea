#include "support/folder_link.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <cstring>

#include "common/files.h"
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
  const auto to_unix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) return std::string();
  char* unix_path = to_unix(path.c_str());
  if (unix_path == nullptr) return std::string();
  std::string result = unix_path;
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Runs a Unix program by its path on drive Z:, which maps "/". Wine does not
// see such a program end, so callers wait for its effect instead.
void StartUnixProgram(const std::wstring& command_line) { RunAndWait(L"Z:" + command_line, 0); }

bool WaitUntil(bool (*done)(const std::wstring&), const std::wstring& path) {
  for (int i = 0; i < 100; ++i) {
    if (done(path)) return true;
    ::Sleep(50);
  }
  return false;
}

bool DriveAnswers(const std::wstring& drive) { return DirectoryExists(drive + L"\\"); }
bool DriveGone(const std::wstring& drive) { return !DirectoryExists(drive + L"\\"); }

bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
  const std::size_t cut = link.find_last_of(L'\\');
  const std::string unix_target = UnixPathOf(target);
  const std::string unix_parent = cut == std::wstring::npos ? std::string() : UnixPathOf(link.substr(0, cut));
  if (unix_target.empty() || unix_parent.empty()) return false;
  StartUnixProgram(L"/bin/ln -s \"" + Widened(unix_target) + L"\" \"" + Widened(unix_parent) + L"/" +
                   link.substr(cut + 1) + L"\"");
  return WaitUntil(ListedAsFolderLink, link);
}

}  // namespace

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
  if (MakeJunction(link, target) && ListedAsFolderLink(link)) return true;
  return MakeUnixLink(link, target) && ListedAsFolderLink(link);
}

ScratchDrive::ScratchDrive(const std::wstring& folder) {
  const std::string unix_folder = UnixPathOf(folder);
  const std::string unix_system_drive = UnixPathOf(WindowsFolder().substr(0, 3));
  const DWORD used = ::GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y' && name_.empty(); ++letter) {
    if (used & (1u << (letter - L'A'))) continue;
    const std::wstring name{letter, L':'};
    if (::DefineDosDeviceW(0, name.c_str(), folder.c_str()) && DriveAnswers(name)) {
      name_ = name;
      return;
    }
    ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, name.c_str(), nullptr);
    // ".../dosdevices/c:/" is where Wine keeps the system drive.
    const std::size_t cut = unix_system_drive.rfind('/', unix_system_drive.size() - 2);
    if (unix_folder.empty() || cut == std::string::npos) continue;
    const std::string link = unix_system_drive.substr(0, cut + 1) + static_cast<char>(std::tolower(letter)) + ":";
    StartUnixProgram(L"/bin/ln -s \"" + Widened(unix_folder) + L"\" \"" + Widened(link) + L"\"");
    if (WaitUntil(DriveAnswers, name)) {
      name_ = name;
      unix_link_ = link;
    }
  }
}

ScratchDrive::~ScratchDrive() {
  if (unix_link_.empty()) {
    if (!name_.empty()) ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, name_.c_str(), nullptr);
    return;
  }
  StartUnixProgram(L"/bin/rm \"" + Widened(unix_link_) + L"\"");
  WaitUntil(DriveGone, name_);
}

}  // namespace tarvolin::testing
