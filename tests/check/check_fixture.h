// What the check tests share: a configuration folder whose lists live on the
// test publisher, a window that writes down what the check tells it, and a
// stand-in for the update window's file list.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/configuration_fixture.h"

namespace tarvolin::testing {

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

// A window of the test thread. As a status window it also receives the
// status numbers and the description.
class ReportWindow {
 public:
  explicit ReportWindow(HWND parent = nullptr);
  ~ReportWindow();
  ReportWindow(const ReportWindow&) = delete;
  ReportWindow& operator=(const ReportWindow&) = delete;

  HWND get() const { return window_; }
  // Delivers the notifications posted to this thread's windows.
  void Pump() const;

  std::vector<std::wstring> texts;
  std::vector<int> statuses;
  std::vector<WORD> commands;
  std::vector<std::wstring> descriptions;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND window_ = nullptr;
};

// One folder per test on the publisher, a configuration that points at it,
// and every process-wide value of the check put back to "never checked".
class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes tarvolin.ini: the list, template and service on the publisher,
  // caches in the configuration folder, then `extra` lines.
  void WriteConfiguration(const std::wstring& extra = L"", const std::string& list_name = "tarvolin.xml") const;
  // URL path of a file in this test's folder on the publisher.
  std::string PathOf(const std::string& name) const { return prefix_ + name; }
  std::wstring UrlOf(const std::string& name) const;
  void Publish(const std::string& name, const std::string& bytes) const;
  void WriteInstalledList(const std::string& xml) const;
  // The paths of the due records, in order.
  static std::vector<std::wstring> DuePaths();

  ScopedConfigurationFolder config_;
  std::string prefix_;
};

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text);

// Runs `work` on a worker thread, as the program runs the check, while this
// thread serves its windows: status windows get synchronous messages from
// the check's helper threads too.
void RunOnWorkerPumping(const std::function<void()>& work);

}  // namespace tarvolin::testing
