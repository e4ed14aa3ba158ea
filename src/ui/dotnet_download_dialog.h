// The dialog that offers a missing .NET Framework: it downloads the installer
// into the current list's download folder, showing the transfer in a block
// view, and starts it elevated once the download is complete.
//
// Thread affinity: the dialog's thread. The download runs on one worker thread
// that reports only through the block view (progress messages, then the
// completed or failed command, which the view forwards here). Closing the
// dialog calls the download off and does not wait for it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "ui/dialog.h"
#include "ui/download_block_view.h"

namespace tarvolin {

class DotNetDownloadDialog : public Dialog {
 public:
  enum class State { kNotDownloaded = 0, kDownloaded = 1, kFailed = 2 };

  // `version` as shown ("2.0").
  DotNetDownloadDialog(std::wstring address, std::wstring version);
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
  std::wstring local_path_;
  State state_ = State::kNotDownloaded;
  DownloadBlockView view_;
  std::shared_ptr<Download> download_;
  std::thread worker_;
};

// The installer's local path: the download folder + the address's last part.
std::wstring DotNetInstallerPath(const std::wstring& download_folder, const std::wstring& address);

}  // namespace tarvolin
