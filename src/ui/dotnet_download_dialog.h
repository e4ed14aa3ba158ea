// The dialog that offers a missing .NET Framework: it downloads the installer
// into the temporary folder under a fixed name, showing the transfer in a
// block view, and starts it elevated once the download is complete and the
// installer verifies (install/installer_trust.h).
//
// Thread affinity: the dialog's thread. The download runs on one worker thread
// that reports only through the block view (progress messages, then the
// completed or failed command, which the view forwards here). Closing the
// dialog calls the download off and does not wait for it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "config/worker_thread.h"
#include "ui/dialog.h"
#include "ui/download_block_view.h"

namespace tarvolin {

class DotNetDownloadDialog : public Dialog {
 public:
  enum class State { kNotDownloaded = 0, kDownloaded = 1, kFailed = 2 };

  // `version` as shown ("2.0"); `expected_sha256` the configured digest of
  // the installer, or "" for none.
  DotNetDownloadDialog(std::wstring address, std::wstring version, std::wstring expected_sha256 = L"");
  ~DotNetDownloadDialog() override;

  State state() const { return state_; }
  const std::wstring& local_path() const { return local_path_; }
  HWND block_view() const { return view_.hwnd(); }
  const DownloadBlockView& view() const { return view_; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

 private:
  std::wstring WithVersion(const wchar_t* text) const;
  void StartDownload();
  void OnDownloadEnded(bool complete);
  void CallOffDownload();

  // What the dialog and its download worker share: the worker may outlive
  // the dialog once the reader closes it.
  struct Download;

  std::wstring address_;
  std::wstring version_;
  std::wstring expected_sha256_;
  std::wstring local_path_;
  State state_ = State::kNotDownloaded;
  DownloadBlockView view_;
  std::shared_ptr<Download> download_;
  WorkerThread worker_{WorkerThread::AtOwnerEnd::kLetRun, L"The installer download"};
};

// The installer's local path: a fixed name in `temporary_folder`. The
// address has no say in it, so no address can place the file elsewhere.
inline constexpr wchar_t kDotNetInstallerName[] = L"dotnetfx-setup.exe";
std::wstring DotNetInstallerPath(const std::wstring& temporary_folder);

}  // namespace tarvolin
