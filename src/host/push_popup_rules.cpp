#include "host/push_popup_rules.h"

#include <vector>

#include "common/strings.h"

namespace tarvolin {
namespace {

constexpr wchar_t kPushListPath[] =
    L"/App/MessageHandler/PushMessage.ashx?method=GetPushMessage&terminalNo=1&platNum=1&productId=";
constexpr wchar_t kPackageCheckPath[] = L"/app/AppPackageHandle.ashx?method=CheckPackage&mac=";

int ToInt(std::wstring_view text) { return static_cast<int>(ParseDecimal(text)); }

std::wstring Joined(std::initializer_list<std::wstring_view> pieces) {
  std::wstring text;
  bool first = true;
  for (std::wstring_view piece : pieces) {
    if (!first) text += L'|';
    text += piece;
    first = false;
  }
  return text;
}

}  // namespace

PushShowing ParseShowing(std::wstring_view text) {
  std::vector<std::wstring> parts = Split(text, L'|');
  parts.resize(10);
  PushShowing showing;
  showing.task = parts[0];
  showing.msg_id = parts[1];
  showing.msg_url = parts[2];
  showing.ele_url = parts[3];
  showing.ele_trans_url = parts[4];
  showing.page_width = parts[5];
  showing.page_height = parts[6];
  showing.position = ToInt(parts[7]);
  showing.x_offset = ToInt(parts[8]);
  showing.y_offset = ToInt(parts[9]);
  return showing;
}

PopupKind KindOfShowing(const PushShowing& showing) {
  const auto web_or_empty = [](const std::wstring& url) { return url.empty() || IsWebAddress(url); };
  if (showing.task.empty()) {
    return IsWebAddress(showing.ele_url) && web_or_empty(showing.msg_url) ? PopupKind::kPicture : PopupKind::kIgnored;
  }
  if (showing.task == kPackageTask) {
    return IsWebAddress(showing.msg_url) && web_or_empty(showing.ele_url) ? PopupKind::kPackage : PopupKind::kIgnored;
  }
  return PopupKind::kIgnored;
}

std::wstring PictureArgument(const PushShowing& showing) {
  return Joined({showing.msg_id, showing.ele_url, showing.ele_trans_url});
}

std::wstring PackageArgument(const PushShowing& showing) {
  return Joined({showing.msg_id, showing.msg_url, showing.page_width, showing.page_height});
}

PackageIdentity PackageIdentityFrom(const LauncherValues& launcher, const std::wstring& configured_xa,
                                    const std::wstring& configured_ebook_id) {
  if (launcher.package_file) return {launcher.xa, launcher.set_id, launcher.code, L"1"};
  if (launcher.client_file) {
    return {launcher.xa, launcher.set_id, launcher.code, Contains(launcher.name, kGiftPackageName) ? L"3" : L"2"};
  }
  return {configured_xa, configured_ebook_id, L"", L"0"};
}

std::pair<std::wstring, std::wstring> PushListProduct(const LauncherValues& launcher,
                                                      const std::wstring& configured_ebook_id) {
  if (launcher.package_file || launcher.client_file) return {launcher.set_id, launcher.code};
  return {configured_ebook_id, L""};
}

std::wstring PushListUrl(std::wstring_view server, std::wstring_view product_id, std::wstring_view code) {
  return std::wstring(server) + kPushListPath + std::wstring(product_id) + L"&Code=" + std::wstring(code);
}

std::wstring PackageCheckUrl(std::wstring_view server, std::wstring_view machine_id, const PackageIdentity& identity) {
  return std::wstring(server) + kPackageCheckPath + std::wstring(machine_id) + L"&productID=" + identity.product_id +
         L"&platID=1&code=" + identity.code;
}

std::wstring SetUrlArgument(const PushShowing& showing, const PackageIdentity& identity,
                            std::wstring_view machine_id) {
  return Joined({PackageArgument(showing), identity.xa, machine_id, identity.is_package, identity.product_id,
                 identity.code, L"1"});
}

std::wstring PendingCheck(std::wstring_view msg_id, std::wstring_view check_url) {
  return Joined({msg_id, check_url});
}

std::pair<std::wstring, std::wstring> SplitPendingCheck(std::wstring_view pending) {
  const std::size_t bar = pending.find(L'|');
  if (bar == std::wstring_view::npos) return {std::wstring(pending), L""};
  return {std::wstring(pending.substr(0, bar)), std::wstring(pending.substr(bar + 1))};
}

std::pair<int, int> ParseDialogSize(std::wstring_view text) {
  const std::size_t bar = text.find(L'|');
  if (bar == std::wstring_view::npos) return {ToInt(text), 0};
  return {ToInt(text.substr(0, bar)), ToInt(text.substr(bar + 1))};
}

std::optional<ScreenPoint> PlacePopup(const PopupPlacement& placement, int w, int h, int screen_w, int screen_h,
                                      int centred_left, int centred_top) {
  if (placement.position < 1 || placement.position > 9) return std::nullopt;
  const int column = (placement.position - 1) % 3;  // left, centre, right
  const int row = (placement.position - 1) / 3;     // top, middle, bottom
  const int lefts[] = {0, centred_left, screen_w - w};
  const int tops[] = {0, centred_top, screen_h - h};
  return ScreenPoint{lefts[column] + placement.x_offset, tops[row] + placement.y_offset};
}

namespace {

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Percent escapes decoded one byte to one character (enough to compare two
// spellings of one address), "/" taken as "\\", lower case, no fragment.
std::wstring ComparableAddress(std::wstring_view url) {
  url = url.substr(0, url.find(L'#'));
  std::wstring text;
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == L'%' && i + 2 < url.size() && HexValue(url[i + 1]) >= 0 && HexValue(url[i + 2]) >= 0) {
      text += static_cast<wchar_t>(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2]));
      i += 2;
    } else {
      text += url[i];
    }
  }
  return ToLower(ReplaceAll(text, L"/", L"\\"));
}

}  // namespace

bool IsOwnPage(std::wstring_view url, std::wstring_view own_page) {
  return !own_page.empty() && ComparableAddress(url) == ComparableAddress(own_page);
}

bool IsWebAddress(std::wstring_view url) {
  const std::wstring lower = ToLower(std::wstring(url.substr(0, 8)));
  return StartsWith(lower, L"http://") || StartsWith(lower, L"https://");
}

}  // namespace tarvolin
