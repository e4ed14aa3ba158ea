// The start-up question after a check that found files, and the "appenter"
// mode without its application: real message boxes, answered as a reader would.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/run_modes.h"
#include "common/files.h"
#include "common/process_state.h"
#include "pipeline/download_list.h"
#include "status/update_status.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/ui_automation.h"
#include "ui/most_simple_window.h"

namespace tarvolin {
namespace {

constexpr wchar_t kName[] = L"PromptBook";
constexpr wchar_t kQuitCaption[] = L"布伦诺克电子书";

bool FileAppears(const std::wstring& path, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms && !FileExists(path); waited += 50) ::Sleep(50);
  return FileExists(path);
}

// Closes the first host window that opens, and says yes to its question.
class HostWindowCloser {
 public:
  HostWindowCloser()
      : answerer_(kQuitCaption, IDYES), watcher_([this] {
          for (int waited = 0; !stop_ && waited < 120000; waited += 50) {
            if (HWND window = ::FindWindowW(kHostWindowClass, nullptr)) {
              seen_ = true;
              ::PostMessageW(window, WM_CLOSE, 0, 0);
              return;
            }
            ::Sleep(50);
          }
        }) {}
  ~HostWindowCloser() {
    stop_ = true;
    watcher_.join();
  }
  bool seen() const { return seen_; }

 private:
  testing::DialogAnswerer answerer_;
  std::atomic<bool> stop_{false}, seen_{false};
  std::thread watcher_;
};

class StartupPromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    SetQuitRequested(false);
  }
  void TearDown() override {
    CurrentDownLoadList().SetRecords({});
    SetStatus(UpdateNone, nullptr);
    SetQuitRequested(false);
    ::OleUninitialize();
  }
  // A book whose application is a stand-in that leaves "<its path>.ran".
  std::wstring Book(const testing::ScopedConfigurationFolder& config, const std::wstring& application) {
    config.WriteIni(std::wstring(L"[Tarvolin]\r\nLog=inst.log\r\n[APPLICATION]\r\nName=") + kName +
                    L"\r\nApplication=" + application + L"\r\n");
    RunParameters().Clear();  // the settings read before are cached there
    const std::wstring book = config / application;
    ::CopyFileW((testing::BuildOutputFolder() + L"\\status_event_marker.exe").c_str(), book.c_str(), FALSE);
    return book;
  }
  static void CheckFoundOneFile() {
    CurrentDownLoadList().SetRecords({{.path = L"a.dll", .version = L"2"}});
    SetStatus(UpdateCheckRemoteOk, nullptr);
  }
};

// Yes updates in the host window; No starts the book as it is; Cancel does
// neither. A wrongly started book would leave its mark before the book that a
// later "No" starts leaves its own.
TEST_F(StartupPromptTest, TheThreeAnswers) {
  testing::ScopedConfigurationFolder config;
  const std::wstring cancelled_book = Book(config, L"cancelled.exe");
  {
    testing::DialogAnswerer answerer(kName, IDCANCEL);
    CheckFoundOneFile();
    EXPECT_EQ(PromptAndUpdate(), 1);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen()[0].text, L"1 updates found at the website,now to upgrade?");
  }
  const std::wstring updated_book = Book(config, L"updated.exe");
  {
    testing::DialogAnswerer answerer(kName, IDYES);
    HostWindowCloser closer;
    CheckFoundOneFile();
    EXPECT_EQ(PromptAndUpdate(), 1);
    EXPECT_EQ(answerer.Seen().size(), 1u);
    EXPECT_TRUE(closer.seen()) << "yes opens the update window";
  }
  const std::wstring started_book = Book(config, L"started.exe");
  {
    testing::DialogAnswerer answerer(kName, IDNO);
    CheckFoundOneFile();
    EXPECT_EQ(PromptAndUpdate(), 1);
    EXPECT_EQ(answerer.Seen().size(), 1u);
  }
  EXPECT_TRUE(FileAppears(started_book + L".ran", 20000)) << "no starts the book";
  EXPECT_FALSE(FileExists(cancelled_book + L".ran")) << "cancel starts nothing";
  EXPECT_FALSE(FileExists(updated_book + L".ran")) << "the update window was closed before it could start the book";
}

TEST_F(StartupPromptTest, AppEnterWithoutApplicationSaysSoAndDoesNothing) {
  testing::ScopedConfigurationFolder config;
  config.WriteIni(std::wstring(L"[APPLICATION]\r\nName=") + kName + L"\r\n");
  testing::DialogAnswerer answerer(L"Error", IDOK);
  SetStatus(UpdateNone, nullptr);

  EXPECT_EQ(RunAppEnter(L"appenter"), 0);

  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(answerer.Seen()[0].text, L"At AppEnter mode,You must set Application in tarvolin.ini file.");
  EXPECT_EQ(CurrentStatus(), UpdateNone) << "no check ran";
  EXPECT_EQ(::FindWindowW(kHostWindowClass, nullptr), nullptr);
}

}  // namespace
}  // namespace tarvolin
