// Points the settings layer at a fresh configuration folder for one test, with
// the value cache emptied, and puts everything back afterwards.
#pragma once

#include <string>

#include "common/process_state.h"
#include "config/settings.h"
#include "support/temp_folder.h"

namespace tarvolin::testing {

class ScopedConfigurationFolder {
 public:
  ScopedConfigurationFolder() : previous_(StoredConfigurationFolder()) {
    RunParameters().Clear();
    SetConfigurationFolder(folder_.path() + L"\\");
  }
  ~ScopedConfigurationFolder() {
    RunParameters().Clear();
    SetConfigurationFolder(previous_);
  }
  ScopedConfigurationFolder(const ScopedConfigurationFolder&) = delete;
  ScopedConfigurationFolder& operator=(const ScopedConfigurationFolder&) = delete;

  // Without a trailing backslash.
  const std::wstring& path() const { return folder_.path(); }
  std::wstring operator/(const std::wstring& name) const { return folder_ / name; }
  void WriteIni(const std::wstring& text) const { WriteTextFile(folder_ / L"tarvolin.ini", text); }

 private:
  TempFolder folder_;
  std::wstring previous_;
};

}  // namespace tarvolin::testing
