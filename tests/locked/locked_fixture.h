// A configuration folder with a log and a configured main program, an empty
// rights list and an unelevated run, for every locked-file test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/process_state.h"
#include "install/rights_list.h"
#include "standin_process.h"
#include "support/configuration_fixture.h"
#include "support/temp_folder.h"

namespace tarvolin::testing {

inline constexpr wchar_t kMainProgramName[] = L"ebook.exe";
inline constexpr wchar_t kDisplayName[] = L"Stand-in Book";

class LockedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RightsList().Clear();
    SetElevatedRun(false);
    config_.WriteIni(std::wstring(L"[Tarvolin]\r\nLog=check.log\r\n[APPLICATION]\r\nApplication= ") + kMainProgramName +
                     L" \r\nName=" + kDisplayName + L"\r\n");
  }
  void TearDown() override {
    RightsList().Clear();
    SetElevatedRun(false);
  }

  std::wstring Log() const { return ReadTextFile(config_ / L"check.log"); }
  // The stand-in program copied into the application folder as the main program.
  std::wstring InstallMainProgram() const {
    const std::wstring path = config_ / kMainProgramName;
    ::CopyFileW(StandInProgram().c_str(), path.c_str(), FALSE);
    return path;
  }

  ScopedConfigurationFolder config_;
};

}  // namespace tarvolin::testing
