// What the transfer tests share: a window that records the progress messages
// it receives, a way to run a transfer on a worker thread while the test
// thread pumps that window's messages, and file contents to publish.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/configuration_fixture.h"
#include "support/publisher_client.h"

namespace tarvolin::testing {

struct RecordedMessage {
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
};

// A hidden top-level window of the creating thread.
class ProgressRecorder {
 public:
  ProgressRecorder();
  ~ProgressRecorder();
  ProgressRecorder(const ProgressRecorder&) = delete;
  ProgressRecorder& operator=(const ProgressRecorder&) = delete;

  HWND window() const { return window_; }
  std::vector<RecordedMessage> Messages() const;
  std::vector<RecordedMessage> Messages(UINT message) const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  mutable std::mutex guard_;
  std::vector<RecordedMessage> messages_;
};

// Runs `work` on a new thread and pumps this thread's messages until it ends.
void RunPumping(const std::function<void()>& work);

// `size` bytes that differ from block to block, so a misplaced block shows.
std::string PatternBytes(std::size_t size, unsigned seed);

// "<base><path>" with the base from PublisherUrl() or NginxUrl().
std::wstring UrlOf(const std::wstring& base, const std::string& path);

// Each test: a clean publisher, an empty configuration, a scratch folder and
// the default connection attempt limit, all put back afterwards.
class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Publishes `bytes` at `path` on the document root that both servers share.
  void Publish(const std::string& path, const std::string& bytes);
  // Requests of the publisher's log whose agent begins with `agent_prefix`.
  static std::vector<PublisherRequest> RequestsBy(const std::string& agent_prefix);
  // True when no "<target>.part<i>" is left for the first `count` blocks.
  static bool NoPartFiles(const std::wstring& target, int count);

  ScopedConfigurationFolder configuration_;
  int saved_try_count_ = 0;
};

}  // namespace tarvolin::testing
