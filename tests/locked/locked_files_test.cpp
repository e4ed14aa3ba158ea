#include "install/locked_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <deque>

#include "common/files.h"
#include "common/strings.h"
#include "locked_fixture.h"
#include "support/ui_automation.h"

namespace tarvolin::testing {
namespace {

constexpr DWORD kExitWaitMs = 20000;
constexpr wchar_t kOriginal[] = L"original content";
constexpr wchar_t kCaption[] = L"Tarvolin";

enum class Op { Open, Rename, Create };

// Stands in front of the real file system: scripted errors for chosen calls,
// and a record of every path asked about. As root under Wine nothing denies
// access by itself, so "access denied" for a missing target in a protected
// folder, or for a program that may not be renamed, comes from here.
class ScriptedFiles : public FileAccess {
 public:
  // The next calls of `op` on `path` fail with these errors, one per call; later calls are real.
  void Script(Op op, const std::wstring& path, std::deque<DWORD> errors) { script_[{op, path}] = std::move(errors); }
  bool Touched(const std::wstring& path) const {
    return std::find(touched_.begin(), touched_.end(), path) != touched_.end();
  }

  bool Exists(const std::wstring& path) const override {
    touched_.push_back(path);
    return FileAccess::Exists(path);
  }
  DWORD OpenForWriting(const std::wstring& path) const override {
    touched_.push_back(path);
    if (auto error = Next(Op::Open, path)) return *error;
    return FileAccess::OpenForWriting(path);
  }
  DWORD Rename(const std::wstring& from, const std::wstring& to) const override {
    touched_.push_back(from);
    if (auto error = Next(Op::Rename, from)) return *error;
    return FileAccess::Rename(from, to);
  }
  DWORD CreateAndDelete(const std::wstring& path) const override {
    touched_.push_back(path);
    if (auto error = Next(Op::Create, path)) return *error;
    return FileAccess::CreateAndDelete(path);
  }

 private:
  std::optional<DWORD> Next(Op op, const std::wstring& path) const {
    auto it = script_.find({op, path});
    if (it == script_.end() || it->second.empty()) return std::nullopt;
    DWORD error = it->second.front();
    it->second.pop_front();
    return error;
  }

  mutable std::map<std::pair<Op, std::wstring>, std::deque<DWORD>> script_;
  mutable std::vector<std::wstring> touched_;
};

class LockedFilesTest : public LockedTest {
 protected:
  std::wstring Folder() const { return config_.path(); }
  std::wstring File(const std::wstring& name) const { return config_ / name; }
  std::wstring MakeFile(const std::wstring& name) const {
    WriteTextFile(File(name), kOriginal);
    return File(name);
  }
  // Holds the file open without sharing from another process.
  void Hold(StandIn& holder, const std::wstring& path) const {
    ASSERT_TRUE(holder.Start(StandInProgram(), L"hold \"" + path + L"\" " + holder.ready_event() + L" " +
                                                   holder.release_event()));
  }
  DestinationPathsFn InFolder() const {
    const std::wstring folder = Folder();
    return [folder](const updatefileinfo& record) { return std::vector<std::wstring>{folder + L"\\" + record.path}; };
  }
};

TEST_F(LockedFilesTest, FilesNobodyHoldsAreWritableAndLeftAsTheyWere) {
  const std::wstring plain = MakeFile(L"plain.dat");
  const std::wstring read_only = MakeFile(L"readonly.dat");
  ::SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::wstring program = MakeFile(L"idle.exe");
  const std::wstring missing = File(L"missing.dat");
  const std::wstring missing_folder = File(L"nofolder\\missing.dat");

  for (const std::wstring& path : {plain, read_only, program, missing, missing_folder}) {
    SCOPED_TRACE(::testing::Message() << path);
    EXPECT_TRUE(IsFileWritable(path));
  }
  for (const std::wstring& path : {plain, read_only, program}) EXPECT_EQ(ReadTextFile(path), kOriginal) << path;
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(FileExists(File(L"nofolder")));
  EXPECT_FALSE(FileExists(program + L".__test"));
  EXPECT_TRUE(RightsList().Empty());
}

TEST_F(LockedFilesTest, AFileHeldWithoutSharingIsLockedAndUntouched) {
  for (const wchar_t* name : {L"held.dat", L"held.dll"}) {
    SCOPED_TRACE(::testing::Message() << name);
    const std::wstring path = MakeFile(name);
    StandIn holder;
    Hold(holder, path);
    EXPECT_FALSE(IsFileWritable(path));
    EXPECT_FALSE(WaitFileWritable(path, false));
    holder.Release();
    ASSERT_EQ(holder.WaitForExit(kExitWaitMs), std::optional<DWORD>(0));
    EXPECT_EQ(ReadTextFile(path), kOriginal);
    EXPECT_FALSE(FileExists(path + L".__test"));
    EXPECT_TRUE(IsFileWritable(path));
  }
  EXPECT_TRUE(RightsList().Empty());
}

TEST_F(LockedFilesTest, ARunningProgramFilePassesTheRenameTest) {
  const std::wstring program = File(L"running.exe");
  ASSERT_TRUE(::CopyFileW(StandInProgram().c_str(), program.c_str(), FALSE));
  const auto before = ReadWholeFile(program);
  StandIn running;
  ASSERT_TRUE(running.Start(program, L"wait " + running.ready_event() + L" " + running.release_event()));
  // The running image cannot be opened for writing, yet it is not locked.
  EXPECT_NE(FileAccess().OpenForWriting(program), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(IsFileWritable(program));
  EXPECT_EQ(ReadWholeFile(program), before);
  EXPECT_FALSE(FileExists(program + L".__test"));
  EXPECT_TRUE(RightsList().Empty());
}

TEST_F(LockedFilesTest, AccessDeniedSendsThePathToTheRightsListInsteadOfReportingItLocked) {
  struct Case {
    const char* name;
    const wchar_t* file;  // created when `exists`
    bool exists;
    Op op;
    std::deque<DWORD> errors;
    bool writable;
    bool listed;
  } const cases[] = {
      {"new file in a folder without write access", L"new.dat", false, Op::Create, {ERROR_ACCESS_DENIED}, true, true},
      {"new file whose folder is missing", L"new.dat", false, Op::Create, {ERROR_PATH_NOT_FOUND}, true, false},
      {"program that may not be renamed", L"app.exe", true, Op::Rename, {ERROR_ACCESS_DENIED}, true, true},
      {"program renamed by nobody else", L"app.dll", true, Op::Rename, {ERROR_SHARING_VIOLATION}, false, false},
      {"data file denied before and after clearing", L"data.dat", true, Op::Open,
       {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}, true, true},
      {"data file in use", L"data.dat", true, Op::Open, {ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}, false,
       false},
      {"read-only data file freed by clearing", L"data.dat", true, Op::Open, {ERROR_ACCESS_DENIED}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RightsList().Clear();
    const std::wstring path = File(c.file);
    ::DeleteFileW(path.c_str());
    if (c.exists) MakeFile(c.file);
    ScriptedFiles files;
    // Programs fail the first open for writing the way a running image does.
    if (c.op == Op::Rename) files.Script(Op::Open, path, {ERROR_SHARING_VIOLATION});
    files.Script(c.op, path, c.errors);
    EXPECT_EQ(IsFileWritable(path, files), c.writable);
    EXPECT_EQ(RightsList().Paths(), c.listed ? std::vector<std::wstring>{path} : std::vector<std::wstring>{});
    if (c.exists) {
      EXPECT_EQ(ReadTextFile(path), kOriginal);
    }
    EXPECT_EQ(FileExists(path), c.exists);
  }
}

TEST_F(LockedFilesTest, AFolderWhereAFileBelongsIsARealAccessDenial) {
  // Opening a folder for writing fails with access denied on Windows and under
  // Wine alike, even as root: a denial that needs no stand-in.
  const std::wstring folder = File(L"data.bin");
  ASSERT_TRUE(CreateDirectoryTree(folder));
  EXPECT_TRUE(IsFileWritable(folder));
  EXPECT_EQ(RightsList().Paths(), std::vector<std::wstring>{folder});
}

TEST_F(LockedFilesTest, TheElevatedRunKeepsTheRightsListEmpty) {
  const std::wstring folder = File(L"data.bin");
  ASSERT_TRUE(CreateDirectoryTree(folder));
  RightsList().Add(L"left over from an earlier test");
  SetElevatedRun(true);
  ScriptedFiles files;
  files.Script(Op::Create, File(L"new.dat"), {ERROR_ACCESS_DENIED});
  EXPECT_TRUE(IsFileWritable(folder, files));
  EXPECT_TRUE(IsFileWritable(File(L"new.dat"), files));
  EXPECT_TRUE(RightsList().Empty());
}

TEST_F(LockedFilesTest, NewFilesAreNotTestedOnceElevationIsNeededAnyway) {
  RightsList().Add(File(L"protected.dat"));
  ScriptedFiles files;
  const std::wstring missing = File(L"missing.dat");
  files.Script(Op::Create, missing, {ERROR_ACCESS_DENIED});
  EXPECT_TRUE(IsFileWritable(missing, files));
  EXPECT_EQ(RightsList().Size(), 1u);
}

TEST_F(LockedFilesTest, CancelInTheRetryBoxGivesUpOnALockedFile) {
  const std::wstring path = MakeFile(L"book.dat");
  StandIn holder;
  Hold(holder, path);
  DialogAnswerer cancel(kCaption, IDCANCEL);
  EXPECT_FALSE(WaitFileWritable(path, true));
  const auto seen = cancel.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"Can't overwrite the file,Please close it.\n" + path);
  holder.Release();
  ASSERT_EQ(holder.WaitForExit(kExitWaitMs), std::optional<DWORD>(0));
  EXPECT_EQ(ReadTextFile(path), kOriginal);
}

TEST_F(LockedFilesTest, RetryAfterTheHolderHasGoneSucceeds) {
  const std::wstring path = MakeFile(L"book.dat");
  StandIn holder;
  Hold(holder, path);
  DialogAnswerer retry(kCaption, IDRETRY);
  auto waiting = std::async(std::launch::async, [&] { return WaitFileWritable(path, true); });
  ASSERT_TRUE(retry.WaitForFirst(kExitWaitMs));
  // Still locked while the holder runs: the box keeps coming back.
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  holder.Release();
  ASSERT_EQ(holder.WaitForExit(kExitWaitMs), std::optional<DWORD>(0));
  ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kExitWaitMs)), std::future_status::ready);
  EXPECT_TRUE(waiting.get());
  EXPECT_EQ(ReadTextFile(path), kOriginal);
}

TEST_F(LockedFilesTest, TheListCheckReportsEachLockedFileAndSkipsDeletedRecords) {
  MakeFile(L"free.dat");
  const std::wstring held = MakeFile(L"held.dat");
  const std::wstring gone = MakeFile(L"gone.dat");
  StandIn holder;
  Hold(holder, held);
  const std::vector<updatefileinfo> records = {
      {.path = L"free.dat"},
      {.path = L"held.dat"},
      {.path = L"gone.dat", .action = ActionDelete},
      {.path = L"new.dat"},
  };
  ScriptedFiles files;
  EXPECT_FALSE(CheckLockedFiles(nullptr, false, records, InFolder(), files));
  EXPECT_FALSE(files.Touched(gone));
  EXPECT_TRUE(files.Touched(File(L"new.dat")));
  const std::wstring log = Log();
  EXPECT_TRUE(Contains(log, L"Check locked file...\r\n"));
  EXPECT_TRUE(Contains(log, L"File is locked[" + held + L"]\r\n"));
  EXPECT_FALSE(Contains(log, L"File is locked[" + File(L"free.dat")));
  EXPECT_TRUE(Contains(log, L"4 update files has 1 locked\r\n"));
  EXPECT_FALSE(Contains(log, L"No locked files"));
}

TEST_F(LockedFilesTest, TheListCheckPassesWhenNothingIsLocked) {
  MakeFile(L"a.dat");
  const std::vector<updatefileinfo> records = {{.path = L"a.dat"}, {.path = L"b.dat"}};
  EXPECT_TRUE(CheckLockedFiles(nullptr, true, records, InFolder()));
  EXPECT_TRUE(Contains(Log(), L"No locked files\r\n"));
}

TEST_F(LockedFilesTest, TheListCheckStopsAtTheFirstPathThatNeedsElevation) {
  ASSERT_TRUE(CreateDirectoryTree(File(L"protected.dat")));
  const std::vector<updatefileinfo> records = {{.path = L"protected.dat"}, {.path = L"later.dat"}};
  ScriptedFiles files;
  EXPECT_TRUE(CheckLockedFiles(nullptr, false, records, InFolder(), files));
  EXPECT_EQ(RightsList().Paths(), std::vector<std::wstring>{File(L"protected.dat")});
  EXPECT_FALSE(files.Touched(File(L"later.dat")));
}

TEST_F(LockedFilesTest, PreparationFailsOnALockedTargetButNotOnALockedMarker) {
  // A locked installed list alone does not stop the copy; the replacement deals with it.
  const std::wstring marker = MakeFile(L"tarvolin.xml");
  StandIn marker_holder;
  Hold(marker_holder, marker);
  EXPECT_TRUE(PrepareInstall(nullptr, false, {{.path = L"a.dat"}}, InFolder()));

  const std::wstring target = MakeFile(L"a.dat");
  StandIn target_holder;
  Hold(target_holder, target);
  EXPECT_FALSE(PrepareInstall(nullptr, false, {{.path = L"a.dat"}}, InFolder()));
  target_holder.Release();
  ASSERT_EQ(target_holder.WaitForExit(kExitWaitMs), std::optional<DWORD>(0));
  EXPECT_EQ(ReadTextFile(target), kOriginal);
}

}  // namespace
}  // namespace tarvolin::testing
