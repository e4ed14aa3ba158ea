#include "config/book_folder.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

// Read, list and run: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE.
constexpr wchar_t kReadAndRun[] = L"0x1200a9";

// The SID of the account this process runs as, as text; empty on failure.
std::wstring CurrentUserSid() {
  unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::wstring();
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return std::wstring();
  wchar_t* text = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return std::wstring();
  unique_hlocal owned(text);
  return text;
}

// Creates one folder with the given access rules. Should the rules not turn
// into a descriptor, the folder is still made: without it nothing can run.
bool CreateFolderWithRules(const std::wstring& folder, const std::wstring& rules) {
  unique_hlocal descriptor;
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!rules.empty() &&
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(rules.c_str(), SDDL_REVISION_1, &made, nullptr)) {
    descriptor.reset(made);
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  return ::CreateDirectoryW(folder.c_str(), descriptor ? &attributes : nullptr) || DirectoryExists(folder);
}

}  // namespace

std::wstring BookFolderAccessRules(const std::wstring& user_sid) {
  return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user_sid + L")(A;OICI;" + kReadAndRun + L";;;BU)";
}

std::wstring SharedFolderAccessRules() {
  // 0x4 is FILE_ADD_SUBDIRECTORY, on this folder only.
  return std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;") + kReadAndRun +
         L";;;BU)(A;;0x4;;;BU)";
}

std::wstring BookFolder(const std::wstring& key) {
  std::wstring root = WindowsFolder().substr(0, 3);
  std::wstring path = CollapseBackslashes(root + L"Brennoak" + L"\\Vosmir\\" + key + L"\\");
  if (DirectoryExists(path)) return path;
  // Level by level from the root, so that each level made here gets its rules
  // as it is made, never after.
  const std::wstring user_sid = CurrentUserSid();
  const std::wstring book_rules = user_sid.empty() ? std::wstring() : BookFolderAccessRules(user_sid);
  std::wstring level = root.substr(0, 2);
  const std::vector<std::wstring> parts = Split(path.substr(3, path.size() - 4), L'\\');
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i].empty()) continue;
    level += L"\\" + parts[i];
    if (DirectoryExists(level)) continue;
    if (!CreateFolderWithRules(level, i + 1 == parts.size() ? book_rules : SharedFolderAccessRules())) break;
  }
  return path;
}

std::wstring BookFolderKey(const std::wstring& executable_folder, const std::wstring& book_name) {
  std::wstring key = book_name;
  for (const wchar_t* launcher_file : {L"\\..\\PelmoraSet.ini", L"\\..\\PelmoraKC.ini"}) {
    std::wstring path = executable_folder + launcher_file;
    if (FileExists(path)) key = ReadIniValue(path, sections::kApplication, L"PelmoraSetId") + L"\\" + book_name;
  }
  return key;
}

void LoadStartupConfiguration(DefaultConfiguration& loaded) {
  loaded = LoadEmbeddedDefaultConfiguration();
  std::wstring name = ReadDefaultSetting(loaded.text, sections::kApplication, L"Name");
  std::wstring key = BookFolderKey(FolderOf(ExecutablePath()), name);
  std::wstring folder = BookFolder(key);
  SetConfigurationFolder(folder);
  WriteWholeFile(folder + kConfigurationFileName, loaded.bytes);  // a failure leaves the old file
}

}  // namespace tarvolin
