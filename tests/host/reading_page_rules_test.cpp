#include "host/reading_page_rules.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

ReadingPageValues SampleValues() {
  ReadingPageValues values;
  values.server = L"http://www.publisher.example";
  values.login_page_reached = true;
  values.ebook_id = L"4711";
  values.agent = L"agent7";
  values.machine_id = L"6C3567D5E";
  values.old_machine_id = L"6C3567C4D";
  return values;
}

constexpr wchar_t kQuery[] =
    L".aspx?id=4711&Type=package&GroupUserName=agent7&MachineID=6C3567D5E&OldMachineID=6C3567C4D&ExternalCmd=V1.0";

TEST(ReadingPageRules, Address) {
  ReadingPageValues reached = SampleValues();
  ReadingPageValues unreachable = SampleValues();
  unreachable.login_page_reached = false;
  ReadingPageValues with_package = SampleValues();
  with_package.package_id = L"P-77";
  ReadingPageValues empty_package = SampleValues();
  empty_package.package_id = L"";
  ReadingPageValues raw_values = SampleValues();
  raw_values.agent = L"a b&c=d";
  raw_values.ebook_id = L"学";

  const std::wstring page = L"http://www.publisher.example/workshop/shownewIframe";
  const struct {
    const char* name;
    const ReadingPageValues& values;
    std::wstring address;
  } cases[] = {
      {"login page reached", reached, page + kQuery},
      {"login page unreachable", unreachable, page + L"NoDns" + kQuery},
      {"launcher package", with_package, page + kQuery + L"&PackageId=P-77"},
      {"launcher file without an id", empty_package, page + kQuery + L"&PackageId="},
      {"values as they are", raw_values,
       page + L".aspx?id=学&Type=package&GroupUserName=a b&c=d&MachineID=6C3567D5E&OldMachineID=6C3567C4D"
              L"&ExternalCmd=V1.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadingPageAddress(c.values), c.address) << c.name;
}

TEST(ReadingPageRules, HostTitleLosesEveryExe) {
  EXPECT_EQ(HostTitleFrom(L"Reader.exe"), L"Reader");
  EXPECT_EQ(HostTitleFrom(L"a.exeb.exe"), L"ab");
  EXPECT_EQ(HostTitleFrom(L"Reader.EXE"), L"Reader.EXE");  // the removal is case-sensitive
  EXPECT_EQ(HostTitleFrom(L""), L"布伦诺克电子书");
}

}  // namespace
}  // namespace tarvolin
