// The e-book's launcher programs and their settings files, which sit in the
// folder above the program's: the package launcher ("PelmoraSet") and the
// client launcher ("PelmoraKC").
#pragma once

#include <optional>
#include <string>

namespace tarvolin {

class LauncherFiles {
 public:
  // `program_folder` without a trailing backslash.
  explicit LauncherFiles(std::wstring program_folder);
  // Around the running executable.
  static LauncherFiles OfThisProgram();

  std::wstring PackageSettingsPath() const;  // ...\..\PelmoraSet.ini
  std::wstring ClientSettingsPath() const;   // ...\..\PelmoraKC.ini
  std::wstring PackageLauncherPath() const;  // ...\..\PelmoraSet.exe
  std::wstring ClientLauncherPath() const;   // ...\..\PelmoraKC.exe

  // A key of [APPLICATION] from the client's file and then from the package's,
  // so the package's file wins wherever it exists (even without the key).
  // Empty when neither file exists.
  std::wstring LauncherSetting(const std::wstring& key) const;
  // The package id for the reading page; nothing when neither file exists.
  std::optional<std::wstring> PackageId() const;
  // The launcher to start: the client's when its settings file exists, else
  // the package's when its file does; empty when neither.
  std::wstring LauncherTarget() const;
  // Starts the launcher with "-Active" when it exists; true when it started.
  bool LaunchEbookLauncher() const;

 private:
  std::wstring Beside(const wchar_t* name) const;

  std::wstring program_folder_;
};

}  // namespace tarvolin
