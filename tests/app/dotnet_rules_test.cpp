#include "app/dotnet_rules.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(DotNetInstaller, AddressTable) {
  struct Case {
    const wchar_t* version;
    const wchar_t* configured;
    const wchar_t* digits;
    const wchar_t* address;  // nullptr: none
    const wchar_t* shown;
  };
  const Case cases[] = {
      {L"2.0", L"", L"20", L"http://maker.test/download/dotnetfx/dotnetfx20.exe", L"2.0"},
      {L"2", L"", L"20", L"http://maker.test/download/dotnetfx/dotnetfx20.exe", L"2.0"},
      {L"4.5", L"", L"45", L"http://maker.test/download/dotnetfx/dotnetfx45.exe", L"4.5"},
      {L"1.1", L"", L"11", L"http://maker.test/download/dotnetfx/dotnetfx11.exe", L"1.1"},
      {L"3.5", L"http://book.test/fx35.exe", L"35", L"http://book.test/fx35.exe", L"3.5"},
      // A configured address serves versions the maker does not keep.
      {L"4.8", L"http://book.test/fx48.exe", L"48", L"http://book.test/fx48.exe", L"4.8"},
      {L"4.8", L"", L"48", nullptr, L"4.8"},
      {L"", L"", L"00", nullptr, L"0.0"},
      {L"4.0.30319", L"", L"40", L"http://maker.test/download/dotnetfx/dotnetfx40.exe", L"4.0"},
  };
  for (const Case& c : cases) {
    const std::wstring digits = DotNetInstallerDigits(c.version);
    EXPECT_EQ(digits, c.digits) << c.version;
    auto address = DotNetInstallerAddress(digits, c.configured, L"http://maker.test");
    if (c.address) {
      EXPECT_EQ(address.value_or(L"<none>"), c.address) << c.version;
    } else {
      EXPECT_FALSE(address.has_value()) << c.version;
    }
    EXPECT_EQ(DotNetVersionText(digits), c.shown) << c.version;
  }
  EXPECT_EQ(DotNetInstallerKey(L"20"), L"dotnetfx20");
}

}  // namespace
}  // namespace tarvolin
