#include "ui/download_block_view.h"

#include <algorithm>

#include "download/transfer_messages.h"
#include "resource_ids.h"
#include "ui/gdi_scope.h"

namespace tarvolin {
namespace {

constexpr wchar_t kClassName[] = L"TarvolinDownloadBlockView";
constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE;  // 0x50000000 with the scroll bar added when needed
constexpr int kTextInset = 40;
constexpr int kLineGap = 40;
constexpr int kFrameInset = 30;
constexpr int kFrameTextInset = 10;
constexpr int kEmptyScrollSize = 10;
constexpr COLORREF kWhite = RGB(255, 255, 255);

unique_hgdiobj LoadBitmapResource(int id) {
  return unique_hgdiobj(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
}

RECT ClientRect(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  return client;
}

}  // namespace

bool DownloadBlockView::CreateInPlaceOf(HWND parent, int control_id) {
  HWND placeholder = ::GetDlgItem(parent, control_id);
  if (!placeholder) return false;
  RECT rect{};
  ::GetWindowRect(placeholder, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  ::DestroyWindow(placeholder);
  pending_bitmap_ = LoadBitmapResource(IDB_BLOCK_PENDING);
  done_bitmap_ = LoadBitmapResource(IDB_BLOCK_DONE);
  if (!Create(kClassName, kViewStyle, 0, rect, parent, control_id)) return false;
  ::SendMessageW(hwnd(), WM_SETFONT, ::SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
  SetGridHeight(0);
  return true;
}

void DownloadBlockView::SetTexts(std::wstring title, std::wstring message, std::wstring done_text,
                                 std::wstring failure_text) {
  title_ = std::move(title);
  message_ = std::move(message);
  done_text_ = std::move(done_text);
  failure_text_ = std::move(failure_text);
  if (hwnd()) ::InvalidateRect(hwnd(), nullptr, FALSE);
}

int DownloadBlockView::PartOffset(int part) const {
  auto found = part_offsets_.find(part);
  return found == part_offsets_.end() ? -1 : found->second;
}

bool DownloadBlockView::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  namespace msg = transfer_messages;
  result = 0;
  switch (message) {
    case msg::kDownloadSize:
      OnFileSize(wparam, lparam);
      return true;
    case msg::kDownloadBlockSize:
      OnPartSize(wparam, lparam);
      return true;
    case msg::kDownloadBlockProgress:
      OnPartProgress(wparam, lparam);
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) != kDownloadCompletedCommand && LOWORD(wparam) != kDownloadFailedCommand) return false;
      OnEnded(LOWORD(wparam));
      return true;
    case WM_LBUTTONDOWN:
      result = ::DefWindowProcW(hwnd(), message, wparam, lparam);
      ::SetFocus(hwnd());
      return true;
    case WM_VSCROLL:
      OnVerticalScroll(LOWORD(wparam));
      return true;
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wparam);
      if (LOWORD(lparam)) ::InvalidateRect(hwnd(), nullptr, FALSE);
      return true;
    case WM_GETFONT:
      result = reinterpret_cast<LRESULT>(font_);
      return true;
    case WM_ERASEBKGND:
      result = 1;  // painting covers everything
      return true;
    case WM_PAINT: {
      PaintScope paint(hwnd());
      Paint(paint.dc(), paint.area());
      return true;
    }
    default:
      return false;
  }
}

void DownloadBlockView::OnFileSize(WPARAM transfer, LPARAM size) {
  if (static_cast<int>(transfer) != transfer_id_) return;
  state_ = State::kRunning;
  file_size_ = size;
}

void DownloadBlockView::OnPartSize(WPARAM transfer, LPARAM part_size) {
  if (static_cast<int>(transfer) != transfer_id_) return;
  state_ = State::kRunning;
  const RECT client = ClientRect(hwnd());
  // A part smaller than one unit cannot be divided into cells.
  auto layout = LayOutBlocks(file_size_, part_size, client.right, client.bottom);
  if (!layout) return;
  layout_ = *layout;
  part_offsets_.clear();
  SetGridHeight(GridHeight(layout_));
  ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void DownloadBlockView::OnPartProgress(WPARAM transfer_and_part, LPARAM bytes) {
  if (LOWORD(transfer_and_part) != LOWORD(static_cast<WPARAM>(transfer_id_)) || layout_.cell_count == 0) return;
  const int part = HIWORD(transfer_and_part);
  const int offset = CellOffsetFor(layout_, bytes);
  auto [entry, added] = part_offsets_.try_emplace(part, offset);
  const int previous = added ? 0 : entry->second;
  if (!added && previous == offset) return;
  entry->second = offset;
  for (int cell : CellsBetween(layout_, part, previous, offset)) InvalidateCell(cell);
}

void DownloadBlockView::InvalidateCell(int cell) {
  const CellPosition at = CellAt(layout_, cell);
  RECT rect{at.x, at.y - scroll_y_, at.x + layout_.cell_size, at.y - scroll_y_ + layout_.cell_size};
  ::InvalidateRect(hwnd(), &rect, FALSE);
}

void DownloadBlockView::OnEnded(WORD command) {
  state_ = command == kDownloadCompletedCommand ? State::kCompleted : State::kFailed;
  layout_.cells_per_row = std::max<int>(1, ClientRect(hwnd()).right / layout_.cell_size);
  SetGridHeight(0);
  ::InvalidateRect(hwnd(), nullptr, FALSE);
  ::SendMessageW(::GetParent(hwnd()), WM_COMMAND, MAKEWPARAM(command, 0), reinterpret_cast<LPARAM>(hwnd()));
}

void DownloadBlockView::SetGridHeight(int height) {
  grid_height_ = std::max(height, kEmptyScrollSize);
  const RECT client = ClientRect(hwnd());
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = grid_height_ - 1;
  info.nPage = static_cast<UINT>(std::max<LONG>(client.bottom, 1));
  scroll_y_ = std::clamp(scroll_y_, 0, std::max<int>(0, grid_height_ - static_cast<int>(client.bottom)));
  info.nPos = scroll_y_;
  ::SetScrollInfo(hwnd(), SB_VERT, &info, TRUE);
}

void DownloadBlockView::OnVerticalScroll(WORD request) {
  const int page = std::max<int>(1, ClientRect(hwnd()).bottom);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_TRACKPOS;
  ::GetScrollInfo(hwnd(), SB_VERT, &info);
  int target = scroll_y_;
  switch (request) {
    case SB_LINEUP: target -= layout_.cell_size; break;
    case SB_LINEDOWN: target += layout_.cell_size; break;
    case SB_PAGEUP: target -= page; break;
    case SB_PAGEDOWN: target += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: target = info.nTrackPos; break;
    case SB_TOP: target = 0; break;
    case SB_BOTTOM: target = grid_height_; break;
    default: return;
  }
  target = std::clamp(target, 0, std::max(0, grid_height_ - page));
  if (target == scroll_y_) return;
  scroll_y_ = target;
  ::SetScrollPos(hwnd(), SB_VERT, scroll_y_, TRUE);
  ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void DownloadBlockView::Paint(HDC window_dc, const RECT& update) const {
  const RECT client = ClientRect(hwnd());
  // Drawn off screen first, so the cells do not flicker while bytes arrive.
  BackBuffer buffer(window_dc, client);
  const HDC dc = buffer.dc();
  GdiSelection font(dc, font_);
  unique_hgdiobj white(::CreateSolidBrush(kWhite));
  ::FillRect(dc, &client, static_cast<HBRUSH>(white.get()));
  ::SetBkMode(dc, TRANSPARENT);

  if (layout_.cell_count == 0 && state_ == State::kRunning) {
    RECT area = client;
    ::InflateRect(&area, -kTextInset, -kTextInset);
    PaintTexts(dc, area, message_);
  } else {
    if (layout_.cell_count > 0) PaintCells(dc, update);
    if (state_ != State::kRunning) {
      RECT frame = client;
      ::InflateRect(&frame, -kFrameInset, -kFrameInset);
      {
        GdiSelection brush(dc, white.get());
        ::Rectangle(dc, frame.left, frame.top, frame.right, frame.bottom);
      }
      ::InflateRect(&frame, -kFrameTextInset, -kFrameTextInset);
      PaintTexts(dc, frame, message_ + L"\r\n" + (state_ == State::kCompleted ? done_text_ : failure_text_));
    }
  }
  buffer.CopyTo(window_dc, update);
}

void DownloadBlockView::PaintTexts(HDC dc, RECT area, const std::wstring& second_line) const {
  ::DrawTextW(dc, title_.c_str(), static_cast<int>(title_.size()), &area, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  area.top += kLineGap;
  ::DrawTextW(dc, second_line.c_str(), static_cast<int>(second_line.size()), &area, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

void DownloadBlockView::PaintCells(HDC dc, const RECT& update) const {
  unique_hdc cells = CompatibleDc(dc);
  GdiSelection cell_bitmap(cells.get(), pending_bitmap_.get());
  const int size = layout_.cell_size;
  // Only the rows the update reaches: a big file has many more cells than show.
  const int first_row = std::max(0, static_cast<int>((update.top + scroll_y_) / size));
  const int last_row = static_cast<int>((update.bottom + scroll_y_) / size);
  const int first = std::min(layout_.cell_count, first_row * layout_.cells_per_row);
  const int end = std::min<long long>(layout_.cell_count, (static_cast<long long>(last_row) + 1) * layout_.cells_per_row);
  for (int cell = first; cell < end; ++cell) {
    const CellPosition at = CellAt(layout_, cell);
    cell_bitmap.Select(CellDone(layout_, part_offsets_, cell) ? done_bitmap_.get() : pending_bitmap_.get());
    ::BitBlt(dc, at.x, at.y - scroll_y_, size, size, cells.get(), 0, 0, SRCCOPY);
  }
}

}  // namespace tarvolin
