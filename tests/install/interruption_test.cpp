// The updater ended abruptly at any moment of the copy stage, then run again:
// the installation must end complete, and at every moment in between each file
// must be whole (old or new) and the installed list must never claim more than
// the disk holds.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/text_encoding.h"
#include "install/file_replacement.h"
#include "install/release_return.h"
#include "install_fixture.h"
#include "pipeline/copy_stage.h"
#include "updatelist/update_list.h"

namespace tarvolin {
namespace {

using testing::ChildProcess;
using testing::TempFolder;

constexpr DWORD kChildLimitMs = 120000;
constexpr DWORD kStoppedExitCode = 3;  // install_child's exit code when it stops itself

// A file's content per release: a header naming it, then enough bytes that
// copying takes a moment, so that a kill can land in the middle of one.
std::string Content(const std::wstring& name, int release, std::size_t size) {
  std::string bytes = "release " + std::to_string(release) + " of " + std::string(name.begin(), name.end()) + "\n";
  bytes.reserve(size);
  for (std::size_t i = 0; bytes.size() < size; ++i) bytes.push_back(static_cast<char>('a' + (i * 7 + release) % 26));
  return bytes;
}

struct BookFile {
  std::wstring path;       // record path
  std::wstring dst_names;  // destination field
  std::vector<std::wstring> installed_as;
  std::size_t size;
  bool in_first_release;
};

std::wstring ListXml(const std::vector<BookFile>& files, int release) {
  std::wstring xml = L"<update>";
  for (const BookFile& f : files) {
    if (release == 1 && !f.in_first_release) continue;
    xml += L"<file path=\"" + f.path + L"\" ver=\"" + std::to_wstring(release) + L"\"";
    if (!f.dst_names.empty()) xml += L" dstname=\"" + f.dst_names + L"\"";
    xml += L"/>";
  }
  return xml + L"</update>";
}

class InterruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files_ = {
        {L"book.dat", L"", {L"book.dat"}, 3u << 20, true},
        {L"pages\\p1.dat", L"", {L"pages\\p1.dat"}, 2u << 20, true},
        {L"pages\\p2.dat", L"", {L"pages\\p2.dat"}, 2u << 20, true},
        {L"lib.dll", L"lib.dll;copies\\lib.dll;more\\lib.dll",
         {L"lib.dll", L"copies\\lib.dll", L"more\\lib.dll"}, 4u << 20, true},
        {L"small.txt", L"", {L"small.txt"}, 100, true},
        {L"new\\added.dat", L"", {L"new\\added.dat"}, 2u << 20, false},
    };
    app_.WriteIni(testing::InstallIni(temp_.path()));
    for (const BookFile& f : files_) {
      for (const std::wstring& target : f.installed_as) {
        if (!f.in_first_release) continue;
        CreateDirectoryTree(FolderOf(app_ / target));
        ASSERT_TRUE(WriteWholeFile(app_ / target, Content(target, 1, f.size)));
      }
      CreateDirectoryTree(FolderOf(release_ / f.path));
      ASSERT_TRUE(WriteWholeFile(release_ / f.path, Content(f.path, 2, f.size)));
    }
    first_list_ = WideToUtf8(ListXml(files_, 1));
    second_list_ = WideToUtf8(ListXml(files_, 2));
    ASSERT_TRUE(WriteWholeFile(app_ / kInstalledListName, first_list_));
    ASSERT_TRUE(WriteWholeFile(release_ / L"list.xml", second_list_));
  }

  std::wstring Command(const std::wstring& stop) const {
    std::wstring line = testing::Quoted(testing::BuiltProgram(testing::kChildProgram)) + L" " +
                        testing::Quoted(app_.path()) + L" " + testing::Quoted(release_.path());
    return stop.empty() ? line : line + L" " + testing::Quoted(stop);
  }

  std::optional<DWORD> RunChild(const std::wstring& stop) const {
    ChildProcess child;
    if (!child.Start(Command(stop))) return std::nullopt;
    return child.Wait(kChildLimitMs);
  }

  // Whole, and of one release or the other; 0 when missing.
  int ReleaseOf(const std::wstring& target, const BookFile& f) const {
    auto bytes = ReadWholeFile(app_ / target);
    if (!bytes) return 0;
    if (*bytes == Content(target, 1, f.size)) return 1;
    // The new release carries the record path's content under every name.
    if (*bytes == Content(f.path, 2, f.size)) return 2;
    return -1;
  }

  // What must hold whenever the updater has ended, however it ended.
  void ExpectConsistent(const std::string& when) const {
    SCOPED_TRACE(when);
    const auto list = ReadWholeFile(app_ / kInstalledListName);
    ASSERT_TRUE(list) << "the installed list is gone";
    ASSERT_TRUE(*list == first_list_ || *list == second_list_) << "the installed list is neither release";
    const bool claims_second = *list == second_list_;
    for (const BookFile& f : files_) {
      for (const std::wstring& target : f.installed_as) {
        const int release = ReleaseOf(target, f);
        EXPECT_NE(release, -1) << "half-written or foreign content in " << target;
        if (claims_second) {
          EXPECT_EQ(release, 2) << target << " is behind the installed list";
        }
        if (f.in_first_release) {
          EXPECT_NE(release, 0) << target << " has disappeared";
        }
      }
    }
  }

  void ExpectComplete() const {
    ExpectConsistent("after the final run");
    EXPECT_EQ(*ReadWholeFile(app_ / kInstalledListName), second_list_);
    for (const BookFile& f : files_) {
      for (const std::wstring& target : f.installed_as) {
        EXPECT_EQ(ReleaseOf(target, f), 2) << target;
        EXPECT_FALSE(FileExists(app_ / (target + kStagedSuffix))) << target;
      }
    }
  }

  // The new release gains a last record whose place a folder of the reader's
  // takes: until that folder goes, every run fails on it and returns to the
  // first release.
  void BlockLastRecord() {
    const std::wstring blocked = L"<file path=\"" + std::wstring(kBlocked) + L"\" ver=\"2\"/></update>";
    second_list_ = WideToUtf8(ReplaceAll(Utf8ToWide(second_list_), L"</update>", blocked));
    ASSERT_TRUE(WriteWholeFile(release_ / L"list.xml", second_list_));
    ASSERT_TRUE(WriteWholeFile(release_ / kBlocked, Content(kBlocked, 2, 100)));
    CreateDirectoryTree(app_ / kBlocked);
    ASSERT_TRUE(WriteWholeFile(app_ / (std::wstring(kBlocked) + L"\\mine.txt"), "the reader's"));
  }
  static constexpr wchar_t kBlocked[] = L"blocked.dat";

  testing::ScopedConfigurationFolder app_;
  TempFolder temp_;
  TempFolder release_;
  std::vector<BookFile> files_;
  std::string first_list_;
  std::string second_list_;
};

TEST_F(InterruptionTest, StoppedAtEveryStepThenRunAgainEndsComplete) {
  // Before each record, after the copy, after the tasks, after the clean-up.
  const std::vector<std::wstring> stops = {L"record:0", L"record:1", L"record:3", L"record:5",
                                           L"text:Do upgrade tasks", L"text:Clear temp files",
                                           L"text:Update completed"};
  for (const std::wstring& stop : stops) {
    EXPECT_EQ(RunChild(stop), std::optional<DWORD>(kStoppedExitCode)) << "did not stop at " << stop;
    ExpectConsistent("stopped at " + std::string(stop.begin(), stop.end()));
  }
  EXPECT_EQ(RunChild(L""), std::optional<DWORD>(0));
  ExpectComplete();
  // Nothing is due any more, and a further run changes nothing.
  EXPECT_EQ(RunChild(L""), std::optional<DWORD>(0));
  ExpectComplete();
}

// The kills sweep a run from its start: 10 ms apart at first, then a tenth of the
// delay so far. Every moment of a short run is met closely, and a run that takes
// seconds (a slow machine, an emulated one) is still crossed in a few dozen rounds.
constexpr wchar_t kPacedReturn[] = L"pace:Return to the previous release|Restore file[|Remove file[";

DWORD NextKillDelay(DWORD delay_ms) { return delay_ms + std::max<DWORD>(10, delay_ms / 10); }

TEST_F(InterruptionTest, KilledAtArbitraryMomentsThenRunAgainEndsComplete) {
  // Each round lets a run fetch everything and stop as the copy begins, then
  // kills the next run a little later than the round before, so that the kills
  // sweep through the copy. Where exactly each lands does not matter: every
  // moment must leave the installation consistent.
  for (DWORD delay_ms = 20; delay_ms <= 20000; delay_ms = NextKillDelay(delay_ms)) {
    ASSERT_EQ(RunChild(L"text:Copy from temporary directory"), std::optional<DWORD>(kStoppedExitCode));
    ChildProcess child;
    ASSERT_TRUE(child.Start(Command(L"")));
    if (auto code = child.Wait(delay_ms)) {
      EXPECT_EQ(*code, 0u);
      ExpectConsistent("ended by itself before " + std::to_string(delay_ms) + " ms");
      break;  // it got through; nothing left to interrupt
    }
    child.Kill();
    ASSERT_TRUE(child.Wait(kChildLimitMs));
    ExpectConsistent("killed after " + std::to_string(delay_ms) + " ms");
  }
  EXPECT_EQ(RunChild(L""), std::optional<DWORD>(0));
  ExpectComplete();
}

TEST_F(InterruptionTest, AReturnStoppedAtEveryStepIsFinishedByTheNextRun) {
  BlockLastRecord();
  const auto first_release = testing::FolderSnapshot(app_.path());
  // Once the journal is written and nothing is back yet, then after each file
  // put back or removed (the return goes from the last change to the first).
  std::vector<std::wstring> stops = {L"text:Return to the previous release"};
  for (const BookFile& f : files_) {
    for (const std::wstring& target : f.installed_as) {
      stops.push_back((f.in_first_release ? L"text:Restore file[" : L"text:Remove file[") + (app_ / target) + L"]");
    }
  }
  for (const std::wstring& stop : stops) {
    const std::string when = "stopped at " + WideToUtf8(stop);
    EXPECT_EQ(RunChild(stop), std::optional<DWORD>(kStoppedExitCode)) << when;
    EXPECT_TRUE(FileExists(app_ / kReturnJournalName)) << when;
    EXPECT_EQ(RunChild(L""), std::optional<DWORD>(1)) << when;
    EXPECT_EQ(testing::FolderSnapshot(app_.path()), first_release) << when;
  }
  // Cut short, then the way cleared: the next run finishes the return and
  // installs the whole new release.
  EXPECT_EQ(RunChild(stops[2]), std::optional<DWORD>(kStoppedExitCode));
  ASSERT_TRUE(DeleteTree(app_ / kBlocked));
  EXPECT_EQ(RunChild(L""), std::optional<DWORD>(0));
  ExpectComplete();
  EXPECT_EQ(ReadWholeFile(app_ / kBlocked), Content(kBlocked, 2, 100));
  EXPECT_FALSE(FileExists(app_ / kReturnJournalName));
}

TEST_F(InterruptionTest, KilledAtArbitraryMomentsOfAReturnThenRunAgainEndsWithOneRelease) {
  BlockLastRecord();
  const auto first_release = testing::FolderSnapshot(app_.path());
  // Each round lets a run fetch everything and stop as the copy begins, then
  // kills the next run later than the round before, so that the kills sweep
  // through the copy and the return after it.
  int in_copy = 0;
  int in_return = 0;
  DWORD refine_step_ms = 0;  // 0 until the end of the copy is swept again
  DWORD last_in_copy_ms = 0;
  int refinements = 0;
  for (DWORD delay_ms = 20; delay_ms <= 30000;
       delay_ms = refine_step_ms ? delay_ms + refine_step_ms : NextKillDelay(delay_ms)) {
    ASSERT_EQ(RunChild(L"text:Copy from temporary directory"), std::optional<DWORD>(kStoppedExitCode));
    ChildProcess child;
    // The return's steps are paced as on a slow disk: a return of a few
    // milliseconds would slip between two kills of an emulated, busy run.
    ASSERT_TRUE(child.Start(Command(kPacedReturn)));
    const std::optional<DWORD> code = child.Wait(delay_ms);
    if (!code) {
      child.Kill();
      ASSERT_TRUE(child.Wait(kChildLimitMs));
      const std::string journal = ReadWholeFile(app_ / kReturnJournalName).value_or("");
      if (journal.find("\nR\n") != std::string::npos) {
        ++in_return;
      } else {
        ++in_copy;
        last_in_copy_ms = delay_ms;
      }
    }
    const std::string when = "killed after " + std::to_string(delay_ms) + " ms";
    EXPECT_EQ(RunChild(L""), std::optional<DWORD>(1)) << when;
    EXPECT_EQ(testing::FolderSnapshot(app_.path()), first_release) << when;
    if (code) {
      // The return is short: when the steps went over it, the stretch from the
      // last kill in the copy to the run's end is swept again in twenty rounds,
      // up to three times (a busy machine moves every run's timing).
      if (in_return == 0 && refinements < 3) {
        ++refinements;
        refine_step_ms = std::max<DWORD>(1, (delay_ms - last_in_copy_ms) / 20);
        delay_ms = last_in_copy_ms;
        continue;
      }
      break;  // it got through the return by itself; nothing left to interrupt
    }
  }
  EXPECT_GT(in_copy, 0) << "no kill landed in the copy";
  EXPECT_GT(in_return, 0) << "no kill landed in the return";
  std::printf("kills during the copy: %d, during the return: %d\n", in_copy, in_return);
}

}  // namespace
}  // namespace tarvolin
