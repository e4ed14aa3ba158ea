#include "host/push_popup_rules.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(PushPopupRules, PlacementAnchorsAndOffsets) {
  // A 300 x 200 pop-up on a 1920 x 1080 screen, where centring would put it at (810, 440).
  struct Case {
    int position;
    std::optional<ScreenPoint> expected;
  } cases[] = {
      {1, ScreenPoint{-10, -40}},     {2, ScreenPoint{800, -40}},     {3, ScreenPoint{1610, -40}},
      {4, ScreenPoint{-10, 400}},     {5, ScreenPoint{800, 400}},     {6, ScreenPoint{1610, 400}},
      {7, ScreenPoint{-10, 840}},     {8, ScreenPoint{800, 840}},
      // 10 pixels from the right edge and 40 above the bottom edge.
      {9, ScreenPoint{1610, 840}},
      {0, std::nullopt},              {10, std::nullopt},             {-1, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlacePopup({c.position, -10, -40}, 300, 200, 1920, 1080, 810, 440), c.expected) << c.position;
  }
}

TEST(PushPopupRules, AShowingChoosesItsPopupAndItsArgument) {
  const PushShowing picture = ParseShowing(L"|7|http://p/pkg|http://p/a.gif|http://p/go|300|200|9|-10|-40");
  EXPECT_EQ(KindOfShowing(picture), PopupKind::kPicture);
  EXPECT_EQ(PictureArgument(picture), L"7|http://p/a.gif|http://p/go");
  EXPECT_EQ(picture.position, 9);
  EXPECT_EQ(picture.x_offset, -10);
  EXPECT_EQ(picture.y_offset, -40);

  const PushShowing package = ParseShowing(L"appshopdalibao|8|http://p/pkg|||640|480|5|0|0");
  EXPECT_EQ(KindOfShowing(package), PopupKind::kPackage);
  EXPECT_EQ(PackageArgument(package), L"8|http://p/pkg|640|480");

  EXPECT_EQ(KindOfShowing(ParseShowing(L"survey|9|||||||")), PopupKind::kIgnored);
  EXPECT_EQ(KindOfShowing(ParseShowing(L"AppShopDaLiBao|9")), PopupKind::kIgnored);  // the task is case-sensitive
  // A short text leaves the rest empty instead of reading past it.
  EXPECT_EQ(ParseShowing(L"").position, 0);
}

// MsgUrl and eleUrl go into the resource page, which has window.external: a
// showing is dropped unless the address its pop-up loads is a web address and
// the other one is a web address or empty.
TEST(PushPopupRules, AShowingWithAnAddressThatIsNotWebIsIgnored) {
  struct Case {
    const wchar_t* text;
    PopupKind kind;
  } cases[] = {
      {L"|7||http://p/a.gif|http://p/go|0|0|9|0|0", PopupKind::kPicture},
      {L"|7|https://p/pkg|HTTPS://p/a.gif||0|0|9|0|0", PopupKind::kPicture},
      {L"|7||javascript:alert(1)|http://p/go|0|0|9|0|0", PopupKind::kIgnored},
      {L"|7|javascript:alert(1)|http://p/a.gif|http://p/go|0|0|9|0|0", PopupKind::kIgnored},
      {L"|7|http://p/pkg||http://p/go|0|0|9|0|0", PopupKind::kIgnored},  // a picture needs its picture
      {L"|7||file:///C:/x.gif||0|0|9|0|0", PopupKind::kIgnored},
      {L"|7||res://tarvolin.exe/2000||0|0|9|0|0", PopupKind::kIgnored},
      {L"appshopdalibao|8|http://p/pkg|||640|480|5|0|0", PopupKind::kPackage},
      {L"appshopdalibao|8|javascript:alert(1)|||640|480|5|0|0", PopupKind::kIgnored},
      {L"appshopdalibao|8| javascript:alert(1)|||640|480|5|0|0", PopupKind::kIgnored},
      {L"appshopdalibao|8|vbscript:msgbox(1)|||640|480|5|0|0", PopupKind::kIgnored},
      {L"appshopdalibao|8|about:blank|||640|480|5|0|0", PopupKind::kIgnored},
      {L"appshopdalibao|8||||640|480|5|0|0", PopupKind::kIgnored},  // a package needs its page
      {L"appshopdalibao|8|http://p/pkg|data:text/html,x||640|480|5|0|0", PopupKind::kIgnored},
  };
  for (const auto& c : cases) EXPECT_EQ(KindOfShowing(ParseShowing(c.text)), c.kind) << c.text;
}

TEST(PushPopupRules, OnlyTheOwnPageIsTheOwnPage) {
  const wchar_t kOwn[] = L"res://C:\\Program Files\\Book\\tarvolin.exe/2000";
  struct Case {
    const wchar_t* url;
    bool own;
  } cases[] = {
      {L"res://C:\\Program Files\\Book\\tarvolin.exe/2000", true},
      {L"RES://c:\\program files\\book\\TARVOLIN.EXE/2000", true},
      {L"res://C:%5CProgram%20Files%5CBook%5Ctarvolin.exe/2000", true},
      {L"res://C:/Program Files/Book/tarvolin.exe/2000", true},
      {L"res://C:\\Program Files\\Book\\tarvolin.exe/2000#top", true},
      {L"res://C:\\Program Files\\Book\\tarvolin.exe/2001", false},
      {L"res://C:\\Program Files\\Book\\tarvolin.exe/2000?x=1", false},
      {L"res://C:\\Other\\tarvolin.exe/2000", false},
      {L"http://attacker.example/", false},
      {L"javascript:alert(1)", false},
      {L"about:blank", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnPage(c.url, kOwn), c.own) << c.url;
  EXPECT_FALSE(IsOwnPage(L"", L""));
}

TEST(PushPopupRules, PackageIdentityFollowsTheLauncherFiles) {
  LauncherValues launcher{false, false, L"S1", L"C1", L"Reader", L"X1"};
  struct Case {
    bool package_file, client_file;
    const wchar_t* name;
    PackageIdentity expected;
  } cases[] = {
      {true, false, L"Reader", {L"X1", L"S1", L"C1", L"1"}},
      {true, true, L"大礼包", {L"X1", L"S1", L"C1", L"1"}},  // the package file wins
      {false, true, L"Reader", {L"X1", L"S1", L"C1", L"2"}},
      {false, true, L"新春大礼包版", {L"X1", L"S1", L"C1", L"3"}},
      {false, false, L"大礼包", {L"cfgXA", L"book42", L"", L"0"}},
  };
  for (const auto& c : cases) {
    launcher.package_file = c.package_file;
    launcher.client_file = c.client_file;
    launcher.name = c.name;
    const PackageIdentity got = PackageIdentityFrom(launcher, L"cfgXA", L"book42");
    EXPECT_EQ(got.xa, c.expected.xa);
    EXPECT_EQ(got.product_id, c.expected.product_id);
    EXPECT_EQ(got.code, c.expected.code);
    EXPECT_EQ(got.is_package, c.expected.is_package) << c.package_file << c.client_file;
    EXPECT_EQ(PushListProduct(launcher, L"book42"),
              (c.package_file || c.client_file ? std::pair<std::wstring, std::wstring>{L"S1", L"C1"}
                                               : std::pair<std::wstring, std::wstring>{L"book42", L""}));
  }
}

TEST(PushPopupRules, PublisherAddressesAndPageArguments) {
  const PackageIdentity identity{L"xa9", L"S1", L"C1", L"2"};
  EXPECT_EQ(PushListUrl(L"http://pub", L"S1", L"C1"),
            L"http://pub/App/MessageHandler/PushMessage.ashx?method=GetPushMessage&terminalNo=1&platNum=1"
            L"&productId=S1&Code=C1");
  EXPECT_EQ(PackageCheckUrl(L"http://pub", L"MAC1", identity),
            L"http://pub/app/AppPackageHandle.ashx?method=CheckPackage&mac=MAC1&productID=S1&platID=1&code=C1");
  const PushShowing package = ParseShowing(L"appshopdalibao|8|http://p/pkg|||640|480|5|0|0");
  EXPECT_EQ(SetUrlArgument(package, identity, L"MAC1"), L"8|http://p/pkg|640|480|xa9|MAC1|2|S1|C1|1");

  const std::wstring pending = PendingCheck(L"8", L"http://pub/app?a=1|b");
  EXPECT_EQ(SplitPendingCheck(pending), (std::pair<std::wstring, std::wstring>{L"8", L"http://pub/app?a=1|b"}));
}

TEST(PushPopupRules, DialogSizeFromThePage) {
  struct Case {
    const wchar_t* text;
    int w, h;
  } cases[] = {{L"300|200", 300, 200}, {L"120px|80", 120, 80}, {L"", 0, 0}, {L"50", 50, 0}, {L"|7", 0, 7}};
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDialogSize(c.text), (std::pair<int, int>{c.w, c.h})) << c.text;
  }
}

TEST(PushPopupRules, OnlyWebAddressesAreOpened) {
  struct Case {
    const wchar_t* url;
    bool opened;
  } cases[] = {
      {L"http://pub/go", true},
      {L"HTTPS://pub/go", true},
      {L"file:///C:/Windows/System32/calc.exe", false},
      {L"C:\\Windows\\System32\\calc.exe", false},
      {L"\\\\server\\share\\run.exe", false},
      {L"javascript:alert(1)", false},
      {L"mailto:a@b", false},
      {L"httpx://pub", false},
      {L" http://pub", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWebAddress(c.url), c.opened) << c.url;
}

}  // namespace
}  // namespace tarvolin
