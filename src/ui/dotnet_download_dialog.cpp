#include "ui/dotnet_download_dialog.h"

#include <shellapi.h>

#include <atomic>

#include "common/files.h"
#include "common/strings.h"
#include "config/path_macros.h"
#include "install/installer_trust.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "download/file_downloader.h"
#include "download/transfer_registry.h"
#include "pipeline/scheduler.h"
#include "resource_ids.h"

namespace tarvolin {
namespace {

constexpr wchar_t kVersionInTexts[] = L"2.0";
namespace texts {
constexpr wchar_t kHeading[] = L"Install NET Framework 2.0";
constexpr wchar_t kBefore[] = L"Your software will need to install NET Framework 2.0,\nPlease download it and install.";
constexpr wchar_t kComplete[] = L"NET Framework 2.0 download is complete,\nPlease install it.";
constexpr wchar_t kFailed[] = L"NET Framework 2.0 download failed,\nPlease download again.";
constexpr wchar_t kInstall[] = L"Install";
constexpr wchar_t kDownload[] = L"Download";
}  // namespace texts

// The one transfer the dialog's view shows.
constexpr int kTransferId = 1;

}  // namespace

struct DotNetDownloadDialog::Download {
  std::atomic<long> transfer_id{0};  // 0 until the transfer has one
  std::atomic<bool> called_off{false};
  std::atomic<bool> complete{false};
};

std::wstring DotNetInstallerPath(const std::wstring& temporary_folder) {
  return CollapseBackslashes(temporary_folder + L"\\" + kDotNetInstallerName);
}

DotNetDownloadDialog::DotNetDownloadDialog(std::wstring address, std::wstring version, std::wstring expected_sha256)
    : Dialog(IDD_DOWN_DOTNET),
      address_(std::move(address)),
      version_(std::move(version)),
      expected_sha256_(std::move(expected_sha256)),
      view_(kTransferId) {}

DotNetDownloadDialog::~DotNetDownloadDialog() {
  // Closing ends the offer without installing: the download stops by itself
  // at its next read, deleting what it fetched, and its reports to a window
  // that is gone are dropped.
  CallOffDownload();
}

void DotNetDownloadDialog::CallOffDownload() {
  if (!download_) return;
  download_->called_off = true;
  if (const long id = download_->transfer_id) TransferRegistry::Instance().Stop(id);
}

std::wstring DotNetDownloadDialog::WithVersion(const wchar_t* text) const {
  return ReplaceAll(Translate(text), kVersionInTexts, version_);
}

BOOL DotNetDownloadDialog::OnInitDialog() {
  std::wstring caption = ReadSetting(sections::kApplication, L"Name");
  if (caption.empty()) caption = Translate(texts::kHeading);
  ::SetWindowTextW(hwnd(), caption.c_str());

  local_path_ = DotNetInstallerPath(TemporaryFolder());
  CreateDirectoryTree(FolderOf(local_path_));

  view_.CreateInPlaceOf(hwnd(), IDC_DOTNET_BLOCKS);
  view_.SetTexts(WithVersion(texts::kHeading), WithVersion(texts::kBefore), WithVersion(texts::kComplete),
                 WithVersion(texts::kFailed));
  TranslateWindow(hwnd(), translation_sections::kMain);
  return TRUE;
}

void DotNetDownloadDialog::OnOK() {
  if (state_ == State::kDownloaded) {
    if (StartVerifiedInstaller(hwnd(), local_path_, expected_sha256_)) {
      EndDialog(IDOK);
      return;
    }
    // Not the installer it should be: it goes, and the button offers the download again.
    ::DeleteFileW(local_path_.c_str());
    OnDownloadEnded(false);
    return;
  }
  StartDownload();
}

void DotNetDownloadDialog::StartDownload() {
  ::EnableWindow(::GetDlgItem(hwnd(), IDOK), FALSE);
  HWND view = view_.hwnd();
  download_ = std::make_shared<Download>();
  // A previous attempt has ended (its report came); Start waits for its thread.
  const bool started = worker_.Start(
      [address = address_, path = local_path_, view, download = download_](const StopSignal&) {
        // Whichever comes second, the id or the call-off, stops the transfer.
        auto started = [&download](long id) {
          download->transfer_id = id;
          if (download->called_off) TransferRegistry::Instance().Stop(id);
        };
        download->complete = DownloadFile(address, path, kDefaultBlockThreads, kTransferId, view, started) == 0;
      },
      [view, download = download_] {
        const WORD command = download->complete ? kDownloadCompletedCommand : kDownloadFailedCommand;
        ::SendMessageW(view, WM_COMMAND, MAKEWPARAM(command, 0), 0);
      });
  if (!started) OnDownloadEnded(false);
}

bool DotNetDownloadDialog::OnMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
  if (message != WM_COMMAND) return false;
  const WORD command = LOWORD(wparam);
  if (command != kDownloadCompletedCommand && command != kDownloadFailedCommand) return false;
  OnDownloadEnded(command == kDownloadCompletedCommand);
  result = 0;
  return true;
}

void DotNetDownloadDialog::OnDownloadEnded(bool complete) {
  HWND button = ::GetDlgItem(hwnd(), IDOK);
  ::EnableWindow(button, TRUE);
  ::SetWindowTextW(button, Translate(complete ? texts::kInstall : texts::kDownload).c_str());
  state_ = complete ? State::kDownloaded : State::kFailed;
}

}  // namespace tarvolin
