#include "config/book_folder.h"

#include "common/files.h"
#include "common/strings.h"
#include "config/settings.h"

namespace tarvolin {

std::wstring BookFolder(const std::wstring& key) {
  std::wstring root = WindowsFolder().substr(0, 3);
  std::wstring path = CollapseBackslashes(root + L"Brennoak" + L"\\Vosmir\\" + key + L"\\");
  if (!DirectoryExists(path)) CreateDirectoryTree(path);
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
