// The download block view as a real window: a dialog of the program's own
// template hosts it in place of its placeholder, and the engine's messages
// arrive as the engine sends them.
#include "ui/download_block_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "download/transfer_messages.h"
#include "resource_ids.h"
#include "ui/dialog.h"

namespace tarvolin {
namespace {

namespace msg = transfer_messages;
constexpr int kTransfer = 7;

// A modeless dialog of template 184 that records the commands it is sent.
class Host : public Dialog {
 public:
  Host() : Dialog(IDD_DOWN_DOTNET) {}
  std::vector<WORD> commands;

 protected:
  bool OnMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) override {
    if (message != WM_COMMAND) return false;
    commands.push_back(LOWORD(wparam));
    result = 0;
    return true;
  }
  void OnOK() override {}
};

std::vector<RECT> UpdateRects(HWND window) {
  std::vector<RECT> rects;
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  if (::GetUpdateRgn(window, region, FALSE) != NULLREGION) {
    DWORD size = ::GetRegionData(region, 0, nullptr);
    std::vector<char> data(size);
    auto* header = reinterpret_cast<RGNDATA*>(data.data());
    if (::GetRegionData(region, size, header)) {
      auto* first = reinterpret_cast<RECT*>(header->Buffer);
      rects.assign(first, first + header->rdh.nCount);
    }
  }
  ::DeleteObject(region);
  return rects;
}

RECT Bounds(const std::vector<RECT>& rects) {
  RECT bounds{};
  for (const RECT& r : rects) ::UnionRect(&bounds, &bounds, &r);
  return bounds;
}

class DownloadBlockViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.CreateModeless(nullptr));
    ASSERT_TRUE(view_.CreateInPlaceOf(host_.hwnd(), IDC_DOTNET_BLOCKS));
    // Hidden windows collect no update region.
    ::ShowWindow(host_.hwnd(), SW_SHOWNOACTIVATE);
    view_.SetTexts(L"Install NET Framework 2.0", L"Please download it.", L"Complete.", L"Failed.");
    ::GetClientRect(view_.hwnd(), &client_);
  }
  void Send(UINT message, WPARAM wparam, LPARAM lparam) { ::SendMessageW(view_.hwnd(), message, wparam, lparam); }
  void Validate() { ::ValidateRect(view_.hwnd(), nullptr); }

  Host host_;
  DownloadBlockView view_{kTransfer};
  RECT client_{};
};

TEST_F(DownloadBlockViewTest, TakesThePlaceholdersPlaceIdAndFont) {
  EXPECT_EQ(::GetDlgItem(host_.hwnd(), IDC_DOTNET_BLOCKS), view_.hwnd());
  EXPECT_EQ(::GetParent(view_.hwnd()), host_.hwnd());
  EXPECT_EQ(::GetWindowLongW(view_.hwnd(), GWL_STYLE) & 0x50000000, 0x50000000);
  EXPECT_EQ(::SendMessageW(view_.hwnd(), WM_GETFONT, 0, 0), ::SendMessageW(host_.hwnd(), WM_GETFONT, 0, 0));
  EXPECT_GT(client_.right, 100);
  EXPECT_GT(client_.bottom, 100);
}

TEST_F(DownloadBlockViewTest, LaysOutItsTransferOnly) {
  Send(msg::kDownloadSize, kTransfer + 1, 50000);
  Send(msg::kDownloadBlockSize, kTransfer + 1, 10000);
  EXPECT_EQ(view_.layout().cell_count, 0);  // another transfer's messages

  Send(msg::kDownloadSize, kTransfer, 50000);
  Send(msg::kDownloadBlockSize, kTransfer, 100);  // below one unit: ignored
  EXPECT_EQ(view_.layout().cell_count, 0);
  Send(msg::kDownloadBlockSize, kTransfer, 10000);
  auto expected = LayOutBlocks(50000, 10000, client_.right, client_.bottom);
  ASSERT_TRUE(expected);
  EXPECT_EQ(view_.layout(), *expected);
  EXPECT_EQ(view_.layout().cells_per_part, 45);  // 10000 bytes are 45 units, one per cell
}

TEST_F(DownloadBlockViewTest, ProgressRepaintsExactlyTheCellsThatChanged) {
  Send(msg::kDownloadSize, kTransfer, 50000);
  Send(msg::kDownloadBlockSize, kTransfer, 10000);
  const BlockLayout layout = view_.layout();
  Validate();

  // Part 1 reaches its fourth cell: cells 45..48 of the grid.
  Send(msg::kDownloadBlockProgress, msg::BlockProgressParam(1, kTransfer), 218 * 3 + 5);
  EXPECT_EQ(view_.PartOffset(1), 3);
  RECT expected{};
  for (int cell = 45; cell <= 48; ++cell) {
    CellPosition at = CellAt(layout, cell);
    RECT r{at.x, at.y, at.x + layout.cell_size, at.y + layout.cell_size};
    ::UnionRect(&expected, &expected, &r);
  }
  RECT bounds = Bounds(UpdateRects(view_.hwnd()));
  EXPECT_TRUE(::EqualRect(&bounds, &expected))
      << bounds.left << "," << bounds.top << "-" << bounds.right << "," << bounds.bottom;

  Validate();
  struct Case {
    const char* name;
    WPARAM wparam;
    LPARAM bytes;
  };
  const Case nothing[] = {
      {"another transfer", msg::BlockProgressParam(1, kTransfer + 1), 218 * 20},
      {"bytes that do not reach the next cell", msg::BlockProgressParam(1, kTransfer), 218 * 4 - 1},
  };
  for (const Case& c : nothing) {
    Send(msg::kDownloadBlockProgress, c.wparam, c.bytes);
    EXPECT_TRUE(UpdateRects(view_.hwnd()).empty()) << c.name;
  }
  EXPECT_EQ(view_.PartOffset(1), 3);
}

TEST_F(DownloadBlockViewTest, EndingsForwardToTheParent) {
  Send(msg::kDownloadSize, kTransfer, 50000);
  Send(msg::kDownloadBlockSize, kTransfer, 10000);
  Send(WM_COMMAND, MAKEWPARAM(kDownloadFailedCommand, 0), 0);
  EXPECT_EQ(view_.state(), DownloadBlockView::State::kFailed);
  Send(WM_COMMAND, MAKEWPARAM(kDownloadCompletedCommand, 0), 0);
  EXPECT_EQ(view_.state(), DownloadBlockView::State::kCompleted);
  EXPECT_EQ(host_.commands, (std::vector<WORD>{kDownloadFailedCommand, kDownloadCompletedCommand}));
  // A new size starts a new run.
  Send(msg::kDownloadSize, kTransfer, 50000);
  EXPECT_EQ(view_.state(), DownloadBlockView::State::kRunning);
}

TEST_F(DownloadBlockViewTest, PaintsWithoutAGridAndWithOne) {
  // No way to see pixels under the null driver; painting must at least run
  // through every state without touching freed objects.
  ::UpdateWindow(view_.hwnd());
  Send(msg::kDownloadSize, kTransfer, 5000000);
  Send(msg::kDownloadBlockSize, kTransfer, 1000000);
  Send(msg::kDownloadBlockProgress, msg::BlockProgressParam(0, kTransfer), 400000);
  ::RedrawWindow(view_.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Send(WM_VSCROLL, SB_PAGEDOWN, 0);
  Send(WM_COMMAND, MAKEWPARAM(kDownloadCompletedCommand, 0), 0);
  ::RedrawWindow(view_.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(UpdateRects(view_.hwnd()).empty());
}

}  // namespace
}  // namespace tarvolin
