#include "common/has_suffix.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(HasSuffix, EndsWithIgnoringCaseAndNeedsAName) {
  struct Case {
    const wchar_t* name;
    const wchar_t* suffix;
    bool expected;
  } cases[] = {
      {L"Setup.EXE", L".exe", true},
      {L"c:\\Book\\Reader.Dll", L".dll", true},
      {L"tasks.xml", L".XML", true},  // the suffix's case does not matter either
      {L".exe", L".exe", false},      // the suffix alone is no name
      {L"exe", L".exe", false},
      {L"", L".exe", false},
      {L"setup.exe.bak", L".exe", false},
      {L"setup.exe ", L".exe", false},
      {L"setupexe", L".exe", false},
      {L"a.exe", L"", true},
      // The end marker inside a name must not stand in for the real end.
      {L"a.exe*#06#.txt", L".exe", false},
      {L"a.exe*#06#", L".exe", false},
      {L"a*#06#", L"*#06#", true},
  };
  for (const auto& c : cases) EXPECT_EQ(HasSuffix(c.name, c.suffix), c.expected) << c.name << L" / " << c.suffix;
}

}  // namespace
}  // namespace tarvolin
