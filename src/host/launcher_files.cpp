#include "host/launcher_files.h"

#include <windows.h>
#include <shellapi.h>

#include <utility>

#include "common/files.h"
#include "config/settings.h"

namespace tarvolin {

LauncherFiles::LauncherFiles(std::wstring program_folder) : program_folder_(std::move(program_folder)) {}

LauncherFiles LauncherFiles::OfThisProgram() { return LauncherFiles(FolderOf(ExecutablePath())); }

std::wstring LauncherFiles::Beside(const wchar_t* name) const { return program_folder_ + L"\\..\\" + name; }

std::wstring LauncherFiles::PackageSettingsPath() const { return Beside(L"PelmoraSet.ini"); }
std::wstring LauncherFiles::ClientSettingsPath() const { return Beside(L"PelmoraKC.ini"); }
std::wstring LauncherFiles::PackageLauncherPath() const { return Beside(L"PelmoraSet.exe"); }
std::wstring LauncherFiles::ClientLauncherPath() const { return Beside(L"PelmoraKC.exe"); }

std::wstring LauncherFiles::LauncherSetting(const std::wstring& key) const {
  std::wstring value;
  // Not through the settings cache: these files' keys (Name, Code) would
  // stand in for the configuration's own.
  for (const std::wstring& file : {ClientSettingsPath(), PackageSettingsPath()}) {
    if (FileExists(file)) value = ReadIniValueUncached(file, sections::kApplication, key);
  }
  return value;
}

std::optional<std::wstring> LauncherFiles::PackageId() const {
  if (!FileExists(PackageSettingsPath()) && !FileExists(ClientSettingsPath())) return std::nullopt;
  return LauncherSetting(L"PelmoraSetId");
}

std::wstring LauncherFiles::LauncherTarget() const {
  if (FileExists(ClientSettingsPath())) return ClientLauncherPath();
  if (FileExists(PackageSettingsPath())) return PackageLauncherPath();
  return std::wstring();
}

bool LauncherFiles::LaunchEbookLauncher() const {
  const std::wstring target = LauncherTarget();
  if (target.empty() || !FileExists(target)) return false;
  const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", target.c_str(), L"-Active", nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace tarvolin
