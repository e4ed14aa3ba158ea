// The .NET Framework download dialog against the test publisher: the button
// downloads, the block view follows the transfer, and the button then offers
// the installer, or the download again after a failure.
#include "ui/dotnet_download_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/prerequisites.h"
#include "check_fixture.h"
#include "common/files.h"
#include "common/strings.h"
#include "config/path_macros.h"
#include "pipeline/scheduler.h"
#include "resource_ids.h"
#include "support/configuration_fixture.h"
#include "support/publisher_client.h"
#include "support/ui_automation.h"
#include "window_driver.h"

namespace tarvolin {
namespace {

using testing::DriveModal;
using testing::PumpUntil;

constexpr wchar_t kName[] = L"DotNetBook";
constexpr DWORD kDownloadWaitMs = 60000;

std::string InstallerBytes() {
  std::string bytes;
  for (int i = 0; bytes.size() < 300000; ++i) bytes += "installer-" + std::to_string(i) + ";";
  return bytes;
}

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

class DotNetDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::PublisherAvailable());
    ASSERT_TRUE(testing::ResetPublisher());
    config_.WriteIni(std::wstring(L"[Tarvolin]\r\nTempAppPath=1\r\n[UPDATEINFO]\r\nListURL=") + testing::PublisherUrl() +
                     L"/fx/tarvolin.xml\r\n[APPLICATION]\r\nName=" + kName + L"\r\n");
  }
  void Click(DotNetDownloadDialog& dialog) {
    ::SendMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  bool WaitForEnd(DotNetDownloadDialog& dialog) {
    HWND button = ::GetDlgItem(dialog.hwnd(), IDOK);
    return PumpUntil([&] { return ::IsWindowEnabled(button) != FALSE; }, kDownloadWaitMs);
  }

  testing::ScopedConfigurationFolder config_;
};

TEST_F(DotNetDialogTest, DownloadsThenOffersTheInstaller) {
  ASSERT_TRUE(testing::PutPublishedFile("fx/dotnetfx20.exe", InstallerBytes()));
  DotNetDownloadDialog dialog(testing::PublisherUrl() + L"/fx/dotnetfx20.exe", L"2.0");
  DriveModal([&] { return dialog.DoModal(nullptr); },
             [&] {
               HWND button = ::GetDlgItem(dialog.hwnd(), IDOK);
               EXPECT_EQ(WindowText(dialog.hwnd()), kName);
               // A fixed name in the temporary folder, whatever the address says.
               EXPECT_EQ(dialog.local_path(), CollapseBackslashes(TemporaryFolder() + L"\\dotnetfx-setup.exe"));
               EXPECT_TRUE(DirectoryExists(TemporaryFolder()));
               EXPECT_EQ(::GetDlgItem(dialog.hwnd(), IDC_DOTNET_BLOCKS), dialog.block_view());

               Click(dialog);
               EXPECT_FALSE(::IsWindowEnabled(button));  // while the download runs
               ASSERT_TRUE(WaitForEnd(dialog));
               EXPECT_EQ(dialog.state(), DotNetDownloadDialog::State::kDownloaded);
               EXPECT_EQ(WindowText(button), L"Install");
               EXPECT_EQ(ReadWholeFile(dialog.local_path()).value_or(""), InstallerBytes());
               // The view followed the transfer: a grid, every part at its end, the completed frame.
               const BlockLayout& layout = dialog.view().layout();
               EXPECT_GT(layout.cell_count, 0);
               EXPECT_EQ(dialog.view().state(), DownloadBlockView::State::kCompleted);
               EXPECT_TRUE(CellDone(layout, {{0, dialog.view().PartOffset(0)}}, layout.cells_per_part - 1));
               dialog.EndDialog(IDCANCEL);  // starting the installer is not for a test
             },
             [&] { dialog.EndDialog(IDCANCEL); });
}

// The address cannot place the installer: a name that climbs out of the
// temporary folder (into a Startup folder, say) changes nothing. And what
// arrives is not started unless it verifies: this one is not signed, so it
// goes and the button offers the download again.
TEST_F(DotNetDialogTest, AnInstallerThatDoesNotVerifyIsNotStarted) {
  ASSERT_TRUE(testing::PutPublishedFile("fx/setup.exe", InstallerBytes()));
  DotNetDownloadDialog dialog(testing::PublisherUrl() + L"/fx/setup.exe?..\\..\\Startup\\evil.exe", L"2.0");
  DriveModal([&] { return dialog.DoModal(nullptr); },
             [&] {
               HWND button = ::GetDlgItem(dialog.hwnd(), IDOK);
               EXPECT_EQ(dialog.local_path(), CollapseBackslashes(TemporaryFolder() + L"\\dotnetfx-setup.exe"));
               Click(dialog);
               ASSERT_TRUE(WaitForEnd(dialog));
               ASSERT_EQ(dialog.state(), DotNetDownloadDialog::State::kDownloaded);
               Click(dialog);  // "Install"
               EXPECT_TRUE(::IsWindow(dialog.hwnd()));
               EXPECT_EQ(dialog.state(), DotNetDownloadDialog::State::kFailed);
               EXPECT_EQ(WindowText(button), L"Download");
               EXPECT_FALSE(FileExists(dialog.local_path()));
               dialog.EndDialog(IDCANCEL);
             },
             [&] { dialog.EndDialog(IDCANCEL); });
}

TEST_F(DotNetDialogTest, AFailedDownloadOffersItAgain) {
  DotNetDownloadDialog dialog(testing::PublisherUrl() + L"/fx/dotnetfx35.exe", L"3.5");
  DriveModal([&] { return dialog.DoModal(nullptr); },
             [&] {
               HWND button = ::GetDlgItem(dialog.hwnd(), IDOK);
               Click(dialog);  // nothing published: 404
               ASSERT_TRUE(WaitForEnd(dialog));
               EXPECT_EQ(dialog.state(), DotNetDownloadDialog::State::kFailed);
               EXPECT_EQ(WindowText(button), L"Download");
               EXPECT_FALSE(FileExists(dialog.local_path()));

               ASSERT_TRUE(testing::PutPublishedFile("fx/dotnetfx35.exe", InstallerBytes()));
               Click(dialog);
               ASSERT_TRUE(WaitForEnd(dialog));
               EXPECT_EQ(dialog.state(), DotNetDownloadDialog::State::kDownloaded);
               EXPECT_EQ(WindowText(button), L"Install");
               dialog.EndDialog(IDCANCEL);
             },
             [&] { dialog.EndDialog(IDCANCEL); });
}

// Closing the dialog in the middle of the download ends the offer at once:
// the dialog does not wait for the rest of the installer, and the download
// stops, leaving no part of it behind.
TEST_F(DotNetDialogTest, ClosingMidDownloadCallsTheDownloadOff) {
  constexpr char kPath[] = "/generated/8000000/dotnetfx20.exe";
  // Eight blocks at 20 kB/s each: fifty seconds for the whole installer.
  ASSERT_TRUE(testing::SetFault(std::string(R"({"path": ")") + kPath + R"(", "fault": "rate", "rate": 20000})"));
  std::wstring local_path;
  bool was_downloading = false;
  std::atomic<bool> dialog_gone{false};
  std::thread owner([&] {
    {
      DotNetDownloadDialog dialog(testing::PublisherUrl() + testing::Widen(kPath), L"2.0");
      DriveModal([&] { return dialog.DoModal(nullptr); },
                 [&] {
                   local_path = dialog.local_path();
                   Click(dialog);
                   was_downloading = PumpUntil([&] { return FileExists(local_path + L".part0"); }, kDownloadWaitMs);
                   ::SendMessageW(dialog.hwnd(), WM_CLOSE, 0, 0);
                 },
                 [&] { dialog.EndDialog(IDCANCEL); });
    }
    dialog_gone = true;
  });
  bool gone_before_the_download_ended = false;
  for (int waited = 0; waited < 20000 && !(gone_before_the_download_ended = dialog_gone); waited += 50) ::Sleep(50);
  owner.join();
  EXPECT_TRUE(was_downloading);
  EXPECT_TRUE(gone_before_the_download_ended) << "the dialog waited for the whole download";
  bool left_nothing = false;
  for (int waited = 0; waited < 20000 && !left_nothing; waited += 50) {
    left_nothing = !FileExists(local_path) && !FileExists(local_path + L".part0");
    if (!left_nothing) ::Sleep(50);
  }
  EXPECT_TRUE(left_nothing) << "the download went on";
}

TEST_F(DotNetDialogTest, NoInstallerAddressGivesTheTranslatedWarning) {
  testing::DialogAnswerer answerer(kName, IDOK);
  InstallDotNet(nullptr, L"4.8");  // the maker keeps no 4.8 installer and none is configured
  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(answerer.Seen()[0].text, L"You must install .Net Framework 4.8 to run main application.");
}

}  // namespace
}  // namespace tarvolin
