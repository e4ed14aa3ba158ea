// What the task tests share: a configuration folder with a log, copies of the
// helper program, scripts written to disk, links read back, files awaited.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <optional>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "common/files.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "updatelist/xml_dom.h"

namespace tarvolin::testing {

inline constexpr wchar_t kHelperName[] = L"task_test_helper.exe";
inline constexpr wchar_t kLogName[] = L"tasks.log";

// A configuration folder whose log the tests read back.
class TaskFolder {
 public:
  TaskFolder() { folder_.WriteIni(std::wstring(L"[Tarvolin]\r\nLog=") + kLogName + L"\r\n"); }

  const std::wstring& path() const { return folder_.path(); }
  std::wstring operator/(const std::wstring& name) const { return folder_ / name; }
  std::wstring Log() const { return ReadTextFile(folder_ / kLogName); }

  // A copy of the helper program under `relative`; its full path.
  std::wstring CopyHelper(const std::wstring& relative) const {
    const std::wstring target = folder_ / relative;
    CreateDirectoryTree(FolderOf(target));
    ::CopyFileW((BuildOutputFolder() + L"\\" + kHelperName).c_str(), target.c_str(), FALSE);
    return target;
  }

  // Writes a script (UTF-8 declared, ASCII content) and returns its full path.
  std::wstring WriteScript(const std::wstring& name, const std::wstring& body) const {
    const std::wstring target = folder_ / name;
    CreateDirectoryTree(FolderOf(target));
    WriteTextFile(target, L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + body);
    return target;
  }

 private:
  ScopedConfigurationFolder folder_;
};

// Starts a program and keeps its process handle; empty when it did not start.
inline unique_handle StartProgram(const std::wstring& command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::vector<wchar_t> line(command_line.begin(), command_line.end());
  line.push_back(L'\0');
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return unique_handle();
  }
  unique_handle thread(info.hThread);
  return unique_handle(info.hProcess);
}

inline bool HasEnded(HANDLE process, DWORD limit_ms) {
  return ::WaitForSingleObject(process, limit_ms) == WAIT_OBJECT_0;
}

inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Inside an XML attribute.
inline std::wstring XmlQuoted(const std::wstring& text) { return L"&quot;" + text + L"&quot;"; }

struct LinkFields {
  std::wstring target;
  std::wstring working_folder;
  std::wstring icon;
  int icon_index = 0;
};

// Reads a shell link back through the shell's own interfaces.
inline std::optional<LinkFields> ReadLink(const std::wstring& link_path) {
  ComThreadScope com;
  com_ptr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
    return std::nullopt;
  }
  com_ptr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return std::nullopt;
  if (FAILED(file->Load(link_path.c_str(), STGM_READ))) return std::nullopt;
  wchar_t buffer[MAX_PATH] = {};
  LinkFields fields;
  if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) return std::nullopt;
  fields.target = buffer;
  buffer[0] = L'\0';
  link->GetWorkingDirectory(buffer, MAX_PATH);
  fields.working_folder = buffer;
  buffer[0] = L'\0';
  link->GetIconLocation(buffer, MAX_PATH, &fields.icon_index);
  fields.icon = buffer;
  return fields;
}

}  // namespace tarvolin::testing
