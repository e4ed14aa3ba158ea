#include "install/shortcuts.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "common/com_ptr.h"
#include "common/files.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/path_macros.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "install/run_file.h"
#include "install/task_string.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

constexpr wchar_t kCreateShortcutText[] = L"Create shortcut[%s]...";

std::wstring ResolveInConfigurationFolder(const std::wstring& path) {
  return ResolvePath(ConfigurationFolder(), path);
}

void LogShortcutFailure(const std::wstring& link, const wchar_t* step, HRESULT hr) {
  WriteLog(FormatWide(L"Shortcut [%ls] not written: %ls failed (0x%08lX)", link.c_str(), step,
                      static_cast<unsigned long>(hr)));
}

}  // namespace

bool CreateShortcut(const std::wstring& target, const std::wstring& working_folder, const std::wstring& link_path,
                    const std::wstring& icon_path, int icon_index) {
  const std::wstring link = LinkFileName(link_path);
  ComThreadScope com;
  com_ptr<IShellLinkW> shell_link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  shell_link.put_void());
  if (FAILED(hr) || !shell_link) {
    LogShortcutFailure(link, L"creating the link object", hr);
    return false;
  }
  shell_link->SetPath(target.c_str());
  shell_link->SetWorkingDirectory(working_folder.c_str());
  shell_link->SetIconLocation(icon_path.c_str(), icon_index);

  com_ptr<IPersistFile> file;
  hr = shell_link->QueryInterface(IID_IPersistFile, file.put_void());
  if (FAILED(hr) || !file) {
    LogShortcutFailure(link, L"asking for the file interface", hr);
    return false;
  }
  // A start-menu group named by the list may not exist yet.
  const std::wstring folder = FolderOf(link);
  if (!folder.empty() && !DirectoryExists(folder)) CreateDirectoryTree(folder);
  hr = file->Save(link.c_str(), TRUE);
  if (FAILED(hr)) {
    LogShortcutFailure(link, L"saving", hr);
    return false;
  }
  return true;
}

std::wstring ShortcutStatusText(const std::wstring& link_path) {
  return FormatPlaceholders(Translate(kCreateShortcutText), {link_path},
                            Placeholders::kTextsOnly);
}

void CreateRecordShortcuts(const std::wstring& first_destination, const updatefileinfo& record,
                           HWND report_window) {
  const std::vector<std::wstring> links =
      ShortcutLinkPaths(record.shortcut, first_destination, &ResolveInConfigurationFolder);
  if (links.empty()) return;
  // A relative icon path means nothing inside a link, so it is made absolute like every list path.
  const std::wstring icon = record.shortcutIcon.empty() ? std::wstring() : ResolveInConfigurationFolder(record.shortcutIcon);
  const int icon_index = ParseIconIndex(record.iconIndex);
  for (const std::wstring& link : links) {
    ReportTaskStatus(report_window, ShortcutStatusText(link));
    CreateShortcut(first_destination, FolderOf(first_destination), link, icon, icon_index);
  }
}

}  // namespace tarvolin
