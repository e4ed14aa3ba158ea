#include "install/main_program.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/strings.h"
#include "install/locked_files.h"
#include "locked_fixture.h"
#include "support/ui_automation.h"

namespace tarvolin::testing {
namespace {

constexpr DWORD kExitWaitMs = 20000;
constexpr int kPoliteExitCode = 7;

TEST(ModulePathRunsProgram, MatchesTheNameAtAFolderBoundaryOnly) {
  struct Case {
    const wchar_t* path;
    const wchar_t* name;
    bool expected;
  } const cases[] = {
      {L"C:\\Books\\EBook.exe", L"ebook.exe", true},
      {L"c:\\books\\ebook.exe", L"  EBOOK.EXE ", true},
      {L"C:\\Books\\bin\\ebook.exe", L"bin\\ebook.exe", true},
      {L"C:\\Books\\bin\\ebook.exe", L"bin/ebook.exe", true},
      {L"C:\\Books\\ebook.exe", L"C:\\Books\\ebook.exe", true},
      {L"\\\\?\\C:\\Books\\ebook.exe", L"C:\\Books\\ebook.exe", true},
      {L"C:\\Windows\\notebook.exe", L"book.exe", false},
      {L"C:\\Books\\ebook.exe.bak", L"ebook.exe", false},
      {L"C:\\Books\\ebook.exe", L"", false},
      {L"C:\\Books\\ebook.exe", L"   ", false},
      {L"", L"ebook.exe", false},
      {L"C:\\Other\\ebook.exe", L"C:\\Books\\ebook.exe", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "path " << c.path << " name " << c.name);
    EXPECT_EQ(ModulePathRunsProgram(c.path, c.name), c.expected);
  }
}

class MainProgramTest : public LockedTest {};

TEST_F(MainProgramTest, ProcessListFindsAChildEvenFromATinyFirstBuffer) {
  StandIn child;
  ASSERT_TRUE(child.Start(StandInProgram(), L"wait " + child.ready_event() + L" " + child.release_event()));
  const auto ids = RunningProcessIds(1);
  ASSERT_TRUE(ids.has_value());
  EXPECT_NE(std::find(ids->begin(), ids->end(), child.id()), ids->end());
  EXPECT_NE(std::find(ids->begin(), ids->end(), ::GetCurrentProcessId()), ids->end());
  EXPECT_EQ(std::find(ids->begin(), ids->end(), DWORD{0}), ids->end());
  EXPECT_EQ(ToLower(ProcessProgramPath(child.id())), ToLower(StandInProgram()));
}

TEST_F(MainProgramTest, ModuleListStartsWithTheProgramAndHoldsEveryModule) {
  const auto modules = ProcessModules(::GetCurrentProcess(), 1);
  ASSERT_TRUE(modules.has_value());
  ASSERT_GT(modules->size(), 1u);
  EXPECT_EQ(modules->front(), ::GetModuleHandleW(nullptr));
  EXPECT_NE(std::find(modules->begin(), modules->end(), ::GetModuleHandleW(L"kernel32.dll")), modules->end());
}

// Accepts the windows of one class, to count what the iterator keeps.
class ClassIterator : public CWindowIterator {
 public:
  ClassIterator(std::size_t capacity, std::wstring class_name)
      : CWindowIterator(capacity), class_name_(std::move(class_name)) {}

 protected:
  bool Accepts(HWND window) const override {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return class_name_ == name;
  }

 private:
  std::wstring class_name_;
};

TEST_F(MainProgramTest, WindowIteratorsKeepAcceptedWindowsUpToTheirCapacity) {
  constexpr wchar_t kClass[] = L"TarvolinIteratorTest";
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &::DefWindowProcW;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClass;
  ::RegisterClassW(&window_class);
  HWND visible[] = {
      ::CreateWindowExW(0, kClass, L"a", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      ::CreateWindowExW(0, kClass, L"b", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
  };
  HWND hidden = ::CreateWindowExW(0, kClass, L"c", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(visible[0] && visible[1] && hidden);

  ClassIterator all(10, kClass);
  all.Collect();
  EXPECT_EQ(all.Windows().size(), 3u);
  ClassIterator two(2, kClass);
  two.Collect();
  EXPECT_EQ(two.Windows().size(), 2u);

  CMainWindowIterator own(::GetCurrentProcessId());
  own.Collect();
  const auto& found = own.Windows();
  for (HWND window : visible) EXPECT_NE(std::find(found.begin(), found.end(), window), found.end());
  EXPECT_EQ(std::find(found.begin(), found.end(), hidden), found.end());

  for (HWND window : visible) ::DestroyWindow(window);
  ::DestroyWindow(hidden);
}

TEST_F(MainProgramTest, ARunningMainProgramIsSeenUntilItEnds) {
  const std::wstring program = InstallMainProgram();
  {
    StandIn ebook;
    ASSERT_TRUE(ebook.Start(program, L"wait " + ebook.ready_event() + L" " + ebook.release_event()));
    EXPECT_EQ(ProcessesRunning(kMainProgramName), std::vector<DWORD>{ebook.id()});
    EXPECT_FALSE(IsMainProgramClosed(nullptr));
    ebook.Release();
    ASSERT_TRUE(ebook.WaitForExit(kExitWaitMs).has_value());
  }
  EXPECT_TRUE(IsMainProgramClosed(nullptr));
  const std::wstring log = Log();
  EXPECT_TRUE(Contains(log, L"The main program has not closed ebook.exe\r\n"));
  EXPECT_TRUE(Contains(log, L"The main program has closed[ebook.exe]\r\n"));
}

TEST_F(MainProgramTest, ClosingAsksPolitelyTerminatesTheStubbornAndSparesTheRefusing) {
  struct Case {
    const wchar_t* behaviour;
    bool ends;
    DWORD exit_code;
  } const cases[] = {
      {L"polite", true, kPoliteExitCode},  // ends by itself after WM_CLOSE
      {L"stubborn", true, 0},              // terminated after the grace period
      {L"refuse", false, 0},               // said no to the end-of-session query
  };
  const std::wstring program = InstallMainProgram();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.behaviour);
    StandIn ebook;
    ASSERT_TRUE(ebook.Start(program, std::wstring(L"window ") + c.behaviour + L" " + ebook.ready_event() + L" " +
                                         ebook.release_event()));
    CloseMainProgram(nullptr);
    if (c.ends) {
      EXPECT_EQ(ebook.WaitForExit(kExitWaitMs), std::optional<DWORD>(c.exit_code));
      EXPECT_TRUE(IsMainProgramClosed(nullptr));
    } else {
      EXPECT_TRUE(ebook.Running());
      EXPECT_FALSE(IsMainProgramClosed(nullptr));
    }
  }
}

TEST_F(MainProgramTest, TheMinimalWindowOffersToCloseTheMainProgram) {
  const std::wstring program = InstallMainProgram();
  StandIn ebook;
  ASSERT_TRUE(ebook.Start(program, L"window polite " + ebook.ready_event() + L" " + ebook.release_event()));
  RunParameters().Set(L"updateskin", L"mostsimple");
  DialogAnswerer yes(L"Tarvolin", IDYES);
  EXPECT_TRUE(PrepareInstall(nullptr, false, {}, [](const updatefileinfo&) { return std::vector<std::wstring>{}; }));
  const auto seen = yes.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"Find main program [Stand-in Book] not closed, Close it now?\n" + program);
  EXPECT_EQ(ebook.WaitForExit(kExitWaitMs), std::optional<DWORD>(kPoliteExitCode));
  EXPECT_TRUE(Contains(Log(), L"The main program has closed\r\n"));
}

TEST_F(MainProgramTest, OtherModesDoNotAskAndLeaveTheDecisionToTheFileCheck) {
  const std::wstring program = InstallMainProgram();
  StandIn ebook;
  ASSERT_TRUE(ebook.Start(program, L"window polite " + ebook.ready_event() + L" " + ebook.release_event()));
  RunParameters().Set(L"updateskin", L"skinned");
  DialogAnswerer no(L"Tarvolin", IDNO);
  EXPECT_TRUE(PrepareInstall(nullptr, false, {}, [](const updatefileinfo&) { return std::vector<std::wstring>{}; }));
  // PrepareInstall cannot return while a box of its own is open, so none was shown.
  EXPECT_TRUE(no.Seen().empty());
  EXPECT_TRUE(ebook.Running());
}

}  // namespace
}  // namespace tarvolin::testing
