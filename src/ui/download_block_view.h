// The download block view: one ranged download shown as a grid of cells, each
// part of the file owning a run of cells that turn done as the part's bytes
// arrive; before the grid exists and after the download it shows texts.
// The download engine's progress messages come straight to this window, for
// the transfer id its owner gave; messages of other transfers are ignored.
//
// Thread affinity: the window's thread. The engine reaches it with
// SendMessageW from its own threads, which the system hands to this thread.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "common/unique_handle.h"
#include "ui/block_layout.h"
#include "ui/child_window.h"

namespace tarvolin {

// WM_COMMAND ids: the download ended complete, or failed. The view forwards
// both to its parent.
inline constexpr WORD kDownloadCompletedCommand = 0x424;
inline constexpr WORD kDownloadFailedCommand = 0x425;

class DownloadBlockView : public ChildWindow {
 public:
  enum class State { kRunning = 0, kCompleted = 1, kFailed = 2 };

  explicit DownloadBlockView(int transfer_id) : transfer_id_(transfer_id) {}

  // Takes the place (and id) of the parent's control `control_id`, which is
  // destroyed, and the parent's font.
  bool CreateInPlaceOf(HWND parent, int control_id);

  void SetTexts(std::wstring title, std::wstring message, std::wstring done_text, std::wstring failure_text);

  int transfer_id() const { return transfer_id_; }
  State state() const { return state_; }
  const BlockLayout& layout() const { return layout_; }
  int PartOffset(int part) const;

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

 private:
  void OnFileSize(WPARAM transfer, LPARAM size);
  void OnPartSize(WPARAM transfer, LPARAM part_size);
  void OnPartProgress(WPARAM transfer_and_part, LPARAM bytes);
  void OnEnded(WORD command);
  void OnVerticalScroll(WORD request);
  void SetGridHeight(int height);
  void Paint(HDC dc, const RECT& update) const;
  void PaintTexts(HDC dc, RECT area, const std::wstring& second_line) const;
  void PaintCells(HDC dc, const RECT& update) const;
  void InvalidateCell(int cell);

  int transfer_id_;
  std::int64_t file_size_ = 0;
  BlockLayout layout_{};
  std::map<int, int> part_offsets_;
  State state_ = State::kRunning;
  std::wstring title_, message_, done_text_, failure_text_;
  HFONT font_ = nullptr;  // the parent's; not ours to delete
  unique_hgdiobj pending_bitmap_, done_bitmap_;
  int grid_height_ = 0;
  int scroll_y_ = 0;
};

}  // namespace tarvolin
