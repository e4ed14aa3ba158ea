// What the push pop-up does with one showing: which page function gets which
// text, where the window goes, which addresses the page may open, and the
// publisher's addresses for the list and the package check. Window-free.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tarvolin {

inline constexpr wchar_t kPackageTask[] = L"appshopdalibao";
// The launcher's Name of a gift-package client.
inline constexpr wchar_t kGiftPackageName[] = L"大礼包";
// In the package check's answer: the user already has the package.
inline constexpr wchar_t kPackageOwnedMarker[] = L"\"result\":1";
inline constexpr wchar_t kPackageOwnedPollMarker[] = L"{\"result\":1";

// One showing as the scheduler sends it; the numbers are kept as text too,
// because the package pop-up passes them on as they came.
struct PushShowing {
  std::wstring task, msg_id, msg_url, ele_url, ele_trans_url;
  std::wstring page_width, page_height;
  int position = 0;
  int x_offset = 0;
  int y_offset = 0;
};
PushShowing ParseShowing(std::wstring_view text);

enum class PopupKind { kPicture, kPackage, kIgnored };
// The pop-up a showing opens; kIgnored for an unknown task, and for a showing
// whose MsgUrl or eleUrl is not a web address (empty is allowed where that
// kind of pop-up does not use it): those addresses go into the resource page,
// which has window.external, so a "javascript:" one would run there.
PopupKind KindOfShowing(const PushShowing& showing);
// The argument of the page's addImg: MsgId|eleUrl|eleTransUrl.
std::wstring PictureArgument(const PushShowing& showing);
// MsgId|MsgUrl|pageWidth|pageHeight, the start of the page's setUrl argument.
std::wstring PackageArgument(const PushShowing& showing);

// The launcher files beside the e-book, as far as the pop-ups use them.
struct LauncherValues {
  bool package_file = false;  // PelmoraSet.ini exists
  bool client_file = false;   // PelmoraKC.ini exists
  // [APPLICATION] values, read with the package file winning.
  std::wstring set_id, code, name, xa;
};
// What the package pop-up tells the publisher about this copy of the book.
struct PackageIdentity {
  std::wstring xa, product_id, code, is_package;
};
// From the launcher files when there are any, else from the configuration.
PackageIdentity PackageIdentityFrom(const LauncherValues& launcher, const std::wstring& configured_xa,
                                    const std::wstring& configured_ebook_id);
// productId and Code of the push list request.
std::pair<std::wstring, std::wstring> PushListProduct(const LauncherValues& launcher,
                                                      const std::wstring& configured_ebook_id);

std::wstring PushListUrl(std::wstring_view server, std::wstring_view product_id, std::wstring_view code);
std::wstring PackageCheckUrl(std::wstring_view server, std::wstring_view machine_id, const PackageIdentity& identity);
// The full argument of the page's setUrl.
std::wstring SetUrlArgument(const PushShowing& showing, const PackageIdentity& identity,
                            std::wstring_view machine_id);
// The package check waiting for its answer: MsgId|check URL, and back.
std::wstring PendingCheck(std::wstring_view msg_id, std::wstring_view check_url);
std::pair<std::wstring, std::wstring> SplitPendingCheck(std::wstring_view pending);

// "w|h" from the page's ResizeDlg.
std::pair<int, int> ParseDialogSize(std::wstring_view text);

struct PopupPlacement {
  int position = 0;
  int x_offset = 0;
  int y_offset = 0;
};
struct ScreenPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScreenPoint&) const = default;
};
// Where a w x h pop-up goes on a screen_w x screen_h screen; centred_left and
// centred_top are where centring the window would put it. Nothing for a
// position outside 1-9: the window then stays where and as big as it is.
std::optional<ScreenPoint> PlacePopup(const PopupPlacement& placement, int w, int h, int screen_w, int screen_h,
                                      int centred_left, int centred_top);

// The pop-up opens only web addresses: its frames show remote pages, and any
// of them can call window.external.
bool IsWebAddress(std::wstring_view url);

// Whether `url` is the page `own_page` (a dialog's resource page): the same
// address in any letter case and percent-encoding, with or without a
// "#fragment". Only that page, as the top document, gets window.external, and
// the top document may not be navigated anywhere else.
bool IsOwnPage(std::wstring_view url, std::wstring_view own_page);

}  // namespace tarvolin
