// The one update sequence against the test publisher, watched the way every
// mode watches it: through a status observer.
#include "pipeline/update_sequence.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <vector>

#include "check_fixture.h"
#include "common/files.h"
#include "pipeline/download_list.h"
#include "pipeline/scheduler.h"
#include "status/update_status.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::CheckTest;

constexpr char kList[] = R"(<update><file path="a.dll" ver="2"/><file path="data\c.dat" ver="1"/></update>)";
constexpr char kInstalledList[] = R"(<update><file path="a.dll" ver="1"/></update>)";

// Statuses as an observer hears them, from whichever thread raises them.
class StatusLog final : public StatusObserver {
 public:
  void OnStatus(int status, HWND) override {
    std::lock_guard<std::mutex> hold(guard_);
    seen_.push_back(status);
  }
  std::vector<int> Seen() {
    std::lock_guard<std::mutex> hold(guard_);
    return seen_;
  }

 private:
  std::mutex guard_;
  std::vector<int> seen_;
};

class UpdateSequenceTest : public CheckTest {
 protected:
  void SetUp() override {
    CheckTest::SetUp();
    WriteConfiguration();
    Publish("tarvolin.xml", kList);
    Publish("main.xml", "<update/>");
    Publish("a.dll", "new a");
    Publish("data/c.dat", "new c");
    WriteInstalledList(kInstalledList);
    ASSERT_TRUE(WriteWholeFile(config_ / L"a.dll", "old a"));
    // From here on: what the fixture itself announces is not the run's.
    registration_.emplace(log_);
  }
  void TearDown() override {
    registration_.reset();
    CheckTest::TearDown();
  }

  SequenceEnd Run(const std::function<bool()>& stop_requested) {
    SequenceEnd end = SequenceEnd::kEnded;
    testing::RunOnWorkerPumping([&] { end = RunUpdateSequence(nullptr, stop_requested); });
    return end;
  }

  StatusLog log_;
  std::optional<StatusObserverRegistration> registration_;
};

TEST_F(UpdateSequenceTest, EveryStageInOrderPutsTheFilesInPlace) {
  int stop_questions = 0;
  EXPECT_EQ(Run([&] { return ++stop_questions, false; }), SequenceEnd::kEnded);

  EXPECT_EQ(log_.Seen(), (std::vector<int>{UpdateCheckRemote, UpdateCheckRemoteOk, UpdateDownload, UpdateDownloadOk,
                                           UpdateCheckLocal, UpdateCheckLocalOk, UpdateCopy, UpdateCopyOk}));
  EXPECT_EQ(stop_questions, 4) << "asked after each of the four stages";
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("new a"));
  EXPECT_EQ(ReadWholeFile(config_ / L"data\\c.dat"), std::optional<std::string>("new c"));
}

TEST_F(UpdateSequenceTest, AStopAfterTheCheckFetchesAndReplacesNothing) {
  EXPECT_EQ(Run([] { return true; }), SequenceEnd::kStopped);

  EXPECT_EQ(log_.Seen(), (std::vector<int>{UpdateCheckRemote, UpdateCheckRemoteOk}));
  EXPECT_EQ(CurrentDownLoadList().Count(), 2);
  EXPECT_FALSE(FileExists(DownloadFolder() + L"\\a.dll_"));
  EXPECT_EQ(ReadWholeFile(config_ / L"a.dll"), std::optional<std::string>("old a"));
}

TEST_F(UpdateSequenceTest, NothingDueEndsAfterTheCheck) {
  WriteInstalledList(R"(<update><file path="a.dll" ver="2"/><file path="data\c.dat" ver="1"/></update>)");
  ASSERT_TRUE(CreateDirectoryTree(config_ / L"data"));
  ASSERT_TRUE(WriteWholeFile(config_ / L"data\\c.dat", "c"));
  int stop_questions = 0;
  EXPECT_EQ(Run([&] { return ++stop_questions, true; }), SequenceEnd::kEnded);

  EXPECT_EQ(log_.Seen(), (std::vector<int>{UpdateCheckRemote, UpdateCheckRemoteOk}));
  EXPECT_EQ(stop_questions, 0);
}

}  // namespace
}  // namespace tarvolin
