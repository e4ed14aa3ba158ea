// What the install tests share: an application folder with a log and its own
// download folder, fetched files placed where the downloader leaves them, and
// the helper programs built beside the test program.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/files.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "pipeline/scheduler.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "updatelist/list_cache_name.h"

namespace tarvolin::testing {

inline constexpr wchar_t kInstallLog[] = L"install.log";
inline constexpr wchar_t kHelperProgram[] = L"install_helper.exe";
inline constexpr wchar_t kRegisterProbe[] = L"register_probe.dll";
inline constexpr wchar_t kChildProgram[] = L"install_child.exe";

inline std::wstring BuiltProgram(const wchar_t* name) { return BuildOutputFolder() + L"\\" + name; }

// The ini text of an application folder whose downloads go under `temp`.
inline std::wstring InstallIni(const std::wstring& temp, const std::wstring& extra = L"") {
  return std::wstring(L"[Tarvolin]\r\nLog=") + kInstallLog + L"\r\nTempPath=" + temp + L"\r\n" + extra +
         L"[UPDATEINFO]\r\nListURL=http://127.0.0.1:9/book/list.xml\r\n";
}

// A configuration folder (the application folder A) and a temporary folder
// holding the download folder D.
class InstallFolders {
 public:
  explicit InstallFolders(const std::wstring& extra_tarvolin_lines = L"") {
    app_.WriteIni(InstallIni(temp_.path(), extra_tarvolin_lines));
  }

  std::wstring App(const std::wstring& relative) const { return app_ / relative; }
  const std::wstring& AppFolder() const { return app_.path(); }
  std::wstring Download() const { return DownloadFolder(); }
  std::wstring Log() const { return ReadTextFile(app_ / kInstallLog); }

  // A fetched file of the record path `relative`, as the downloader parks it.
  std::wstring Park(const std::wstring& relative, const std::wstring& text) const {
    const std::wstring source = CollapseBackslashes(Download() + L"\\" + relative);
    CreateDirectoryTree(FolderOf(source));
    WriteTextFile(source + L"_", text);
    return source;
  }
  std::wstring ParkCopyOf(const std::wstring& relative, const std::wstring& program) const {
    const std::wstring source = CollapseBackslashes(Download() + L"\\" + relative);
    CreateDirectoryTree(FolderOf(source));
    ::CopyFileW(program.c_str(), (source + L"_").c_str(), FALSE);
    return source;
  }
  void WriteApp(const std::wstring& relative, const std::wstring& text) const {
    CreateDirectoryTree(FolderOf(App(relative)));
    WriteTextFile(App(relative), text);
  }

 private:
  ScopedConfigurationFolder app_;
  TempFolder temp_;
};

inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// A process started by a test and the means to end it.
class ChildProcess {
 public:
  bool Start(const std::wstring& command_line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring line = command_line;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      return false;
    }
    unique_handle thread(info.hThread);
    process_.reset(info.hProcess);
    return true;
  }
  // The exit code, or nothing when it has not ended within the limit.
  std::optional<DWORD> Wait(DWORD limit_ms) {
    if (::WaitForSingleObject(process_.get(), limit_ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  void Kill() { ::TerminateProcess(process_.get(), kKilledExitCode); }
  ~ChildProcess() {
    if (process_) {
      ::TerminateProcess(process_.get(), kKilledExitCode);
      ::WaitForSingleObject(process_.get(), 10000);
    }
  }
  static constexpr UINT kKilledExitCode = 99;

 private:
  unique_handle process_;
};

}  // namespace tarvolin::testing
