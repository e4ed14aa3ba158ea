#include "updatelist/list_url.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(ListUrl, Placeholders) {
  EXPECT_EQ(ExpandListUrlWith(L"http://h/{param}/[param1]/x.xml", L"7", L"x", L""), L"http://h/7/x/x.xml");
  EXPECT_EQ(ExpandListUrlWith(L"http://h/[param2]{param2}/[param]", L"", L"", L"b"), L"http://h/bb/");
  // "[param1]" is replaced before "[param]" could eat its prefix.
  EXPECT_EQ(ExpandListUrlWith(L"[param1][param]", L"P", L"one", L""), L"oneP");
}

TEST(ListUrl, Base) {
  EXPECT_EQ(ListUrlBaseOf(L"http://h/a/tarvolin.xml"), L"http://h/a");
  EXPECT_EQ(ListUrlBaseOf(L"http://h/a/x"), L"http://h/a/x");  // slash among the last two characters
  EXPECT_EQ(ListUrlBaseOf(L"http://h/a/"), L"http://h/a/");
  EXPECT_EQ(ListUrlBaseOf(L"nothing"), L"nothing");
}

TEST(ProbeReplyParsing, Table) {
  struct Case {
    std::vector<std::wstring> lines;
    std::wstring version;
    std::vector<std::wstring> mirrors;
  } cases[] = {
      {{L"<ver>5.1</ver>", L"<url>http://a/l.xml</url>", L"<url>http://b/l.xml</url>"}, L"5.1",
       {L"http://a/l.xml", L"http://b/l.xml"}},
      {{L"  <VER>2</VER>  "}, L"2", {}},                         // version only
      {{L"<Url>http://m/x</Url><URL></URL>"}, L"", {L"http://m/x", L""}},  // empty piece adds an empty entry
      {{L"<ver></ver>"}, L"", {}},                               // empty version is none
      {{L"<ver>3", L".0</ver><url>tail"}, L"3.0", {}},           // lines are joined; a piece without "<" adds nothing
      {{L"garbage"}, L"", {}},
      {{}, L"", {}},
  };
  for (const auto& c : cases) {
    ProbeReply reply = ParseProbeReply(c.lines);
    EXPECT_EQ(reply.version, c.version);
    EXPECT_EQ(reply.mirrors, c.mirrors);
  }
}

}  // namespace
}  // namespace tarvolin
