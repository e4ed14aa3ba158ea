// The rules of task strings, wait texts, status texts and link names.
#include "install/task_string.h"

#include <gtest/gtest.h>

namespace tarvolin {
namespace {

TEST(SplitTaskString, TakesFileParametersAndWaitTextAtEveryNine) {
  struct Case {
    const wchar_t* task;
    TaskFields expected;
  };
  const Case cases[] = {
      {L"a.exe9-x9yes9key", {L"a.exe", L"-x", L"yes"}},
      {L"a.exe", {L"a.exe", L"", L""}},
      {L"a.exe9-x", {L"a.exe", L"-x", L""}},
      {L"a.exe991", {L"a.exe", L"", L"1"}},
      {L"", {L"", L"", L""}},
      {L"999", {L"", L"", L""}},
      // A nine inside a value splits it too: the list cannot carry one.
      {L"setup2019.exe9-q9no", {L"setup201", L".exe", L"-q"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitTaskString(c.task), c.expected) << c.task;
}

TEST(TaskWaits, AcceptsOneYesTrueOnAndRejectsNegatives) {
  struct Case {
    const wchar_t* text;
    bool waits;
  };
  const Case cases[] = {
      {L"1", true},     {L"yes", true},  {L"Yes", true},   {L"TRUE", true}, {L"on", true},  {L"y", true},
      {L" yes ", true}, {L"", false},    {L"0", false},    {L"false", false}, {L"n", false},
      {L"no", false},   {L"NO", false},  {L"off", false},  {L"none", false}, {L"abc", false},
  };
  for (const Case& c : cases) EXPECT_EQ(TaskWaits(c.text), c.waits) << c.text;
}

TEST(ScriptRunWaits, LooksForOneYOrT) {
  struct Case {
    const wchar_t* text;
    bool waits;
  };
  const Case cases[] = {
      {L"Yes", true}, {L"1", true},   {L"true", true}, {L"T", true},
      {L"no", false}, {L"", false},   {L"0", false},   {L"on", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ScriptRunWaits(c.text), c.waits) << c.text;
}

TEST(TaskStatusText, LeavesNoEmptyBrackets) {
  EXPECT_EQ(TaskStatusText(L"Run", L"C:\\a.exe", L"-x", true), L"Run[C:\\a.exe][-x][wait]");
  EXPECT_EQ(TaskStatusText(L"Run", L"C:\\a.exe", L"", false), L"Run[C:\\a.exe][nowait]");
  EXPECT_EQ(TaskStatusText(L"Run", L"", L"", true), L"Run[wait]");
  EXPECT_EQ(TaskStatusText(L"运行", L"b.exe", L"p", false), L"运行[b.exe][p][nowait]");
}

TEST(LinkFileName, AppendsLnkOnlyWhenMissing) {
  struct Case {
    const wchar_t* path;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"C:\\d\\Book", L"C:\\d\\Book.lnk"},
      {L"C:\\d\\Book.lnk", L"C:\\d\\Book.lnk"},
      {L"C:\\d\\Book.LNK", L"C:\\d\\Book.LNK"},
      {L"C:\\d\\Book.exe", L"C:\\d\\Book.exe.lnk"},
      {L"C:\\d\\lnk", L"C:\\d\\lnk.lnk"},
  };
  for (const Case& c : cases) EXPECT_EQ(LinkFileName(c.path), c.expected) << c.path;
}

TEST(ShortcutLinkPaths, SplitsResolvesAndDropsRepeats) {
  auto resolve = [](const std::wstring& path) { return L"C:\\app\\" + path; };
  struct Case {
    const wchar_t* field;
    std::vector<std::wstring> expected;
  };
  const Case cases[] = {
      {L"", {}},
      {L" ; ,|", {}},
      {L"Read", {L"C:\\app\\bin\\Read"}},
      {L"Read,links\\Other|Read;x/y", {L"C:\\app\\bin\\Read", L"C:\\app\\links\\Other", L"C:\\app\\x/y"}},
      {L"A;a", {L"C:\\app\\bin\\A", L"C:\\app\\bin\\a"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortcutLinkPaths(c.field, L"C:\\app\\bin\\book.exe", resolve), c.expected) << c.field;
  }
}

TEST(PathPieces, LastComponentAndIconIndex) {
  EXPECT_EQ(LastPathComponent(L"C:\\a\\b\\settings.ini"), L"settings.ini");
  EXPECT_EQ(LastPathComponent(L"C:/a/b.ini"), L"b.ini");
  EXPECT_EQ(LastPathComponent(L"plain.ini"), L"plain.ini");

  EXPECT_EQ(ParseIconIndex(L"3"), 3);
  EXPECT_EQ(ParseIconIndex(L"-2"), -2);
  EXPECT_EQ(ParseIconIndex(L""), 0);
  EXPECT_EQ(ParseIconIndex(L"x"), 0);
  EXPECT_EQ(ParseIconIndex(L"99999999999"), 0x7FFFFFFF);
}

}  // namespace
}  // namespace tarvolin
