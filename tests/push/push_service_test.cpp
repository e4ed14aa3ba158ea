// The push messages' traffic against the test publisher, and their threads
// against real windows of the test's thread.
#include "host/push_service.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "common/strings.h"
#include "support/publisher_client.h"
#include "push_pump.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using namespace std::chrono_literals;
using testing::JsonQuote;
using testing::PublisherUrl;
using testing::PumpUntil;

constexpr char kListPath[] = "/App/MessageHandler/PushMessage.ashx";
constexpr char kCheckPath[] = "/app/AppPackageHandle.ashx";

bool ReplyToPost(const std::string& path, const std::string& body) {
  return testing::SetPostReply("{\"path\":" + JsonQuote(path) + ",\"status\":200,\"body\":" + JsonQuote(body) + "}");
}

int RequestsTo(const std::string& path) {
  int count = 0;
  for (const auto& request : testing::PublisherLog()) count += request.path.rfind(path, 0) == 0;
  return count;
}

class PushServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::PublisherAvailable());
    ASSERT_TRUE(testing::ResetPublisher());
  }
  void TearDown() override { testing::ResetPublisher(); }

  std::wstring CheckUrl() const {
    return PackageCheckUrl(PublisherUrl(), L"MAC1", PackageIdentity{L"", L"S1", L"C1", L"2"});
  }
};

TEST_F(PushServiceTest, TheListIsPostedForTheBookAndAnUnreachablePublisherGivesNothing) {
  const std::string answer = R"({"result":1,"data":[{"MsgId":"7","timeType":"0"}]})";
  ASSERT_TRUE(ReplyToPost(kListPath, answer));
  PushSources sources;
  sources.server = PublisherUrl();
  sources.configured_ebook_id = L"book42";
  EXPECT_EQ(FetchPushAnswer(sources), std::wstring(answer.begin(), answer.end()));
  const auto log = testing::PublisherLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].method, "POST");
  EXPECT_EQ(log[0].path, std::string(kListPath) +
                             "?method=GetPushMessage&terminalNo=1&platNum=1&productId=book42&Code=");

  sources.server = L"http://127.0.0.1:1";
  EXPECT_EQ(FetchPushAnswer(sources), L"");
}

TEST(PushLauncherFiles, ThePackageFileWinsOverTheClientFile) {
  testing::TempFolder root;
  ASSERT_TRUE(::CreateDirectoryW((root / L"book").c_str(), nullptr));
  const std::wstring program = root / L"book";
  EXPECT_FALSE(ReadLauncherValues(LauncherFiles(program)).client_file);

  testing::WriteTextFile(root / L"PelmoraKC.ini", L"[APPLICATION]\r\nPelmoraSetId=K1\r\nCode=KC\r\nName=Reader\r\nXA=kx\r\n");
  LauncherValues files = ReadLauncherValues(LauncherFiles(program));
  EXPECT_TRUE(files.client_file);
  EXPECT_FALSE(files.package_file);
  EXPECT_EQ(files.set_id, L"K1");
  EXPECT_EQ(files.xa, L"kx");

  testing::WriteTextFile(root / L"PelmoraSet.ini", L"[APPLICATION]\r\nPelmoraSetId=S1\r\nCode=SC\r\n");
  files = ReadLauncherValues(LauncherFiles(program));
  EXPECT_TRUE(files.package_file);
  EXPECT_EQ(files.set_id, L"S1");
  EXPECT_EQ(files.code, L"SC");
  EXPECT_EQ(files.name, L"");  // the package file has none, and it wins
}

TEST_F(PushServiceTest, AFirstAnswerOfOwnedMeansThePopupNeverShows) {
  ASSERT_TRUE(ReplyToPost(kCheckPath, R"({"result":1})"));
  EXPECT_TRUE(PackageWatch::AlreadyOwned(CheckUrl()));
  ASSERT_TRUE(ReplyToPost(kCheckPath, R"({"result":0})"));
  EXPECT_FALSE(PackageWatch::AlreadyOwned(CheckUrl()));
  // An unreachable publisher: the pop-up shows and polling goes on.
  EXPECT_FALSE(PackageWatch::AlreadyOwned(L"http://127.0.0.1:1/app/AppPackageHandle.ashx?method=CheckPackage"));
}

TEST_F(PushServiceTest, PollingReportsOnceWhenTheAnswerChangesAndOnlyWhileThePopupIsVisible) {
  ASSERT_TRUE(ReplyToPost(kCheckPath, R"({"result":0})"));
  std::atomic<bool> visible{false};
  std::atomic<int> owned{0};
  std::wstring owned_id;
  PackageWatch watch({[&] { return visible.load(); },
                      [&](const std::wstring& id) {
                        owned_id = id;
                        ++owned;
                      }},
                     100);
  ASSERT_TRUE(watch.Watch(L"8", CheckUrl()));
  ::Sleep(500);
  EXPECT_EQ(RequestsTo(kCheckPath), 0) << "polled while the pop-up was hidden";

  visible = true;
  ASSERT_TRUE(PumpUntil([] { return RequestsTo(kCheckPath) >= 2; }, 5s));
  EXPECT_EQ(owned.load(), 0);

  ASSERT_TRUE(ReplyToPost(kCheckPath, R"({"result":1})"));
  ASSERT_TRUE(PumpUntil([&] { return owned.load() > 0; }, 5s));
  ::Sleep(500);
  EXPECT_EQ(owned.load(), 1);
  EXPECT_EQ(owned_id, L"8");
  watch.Stop();
}

// A window of the test's thread that counts what the scheduler sends it.
class Receiver {
 public:
  Receiver() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &Receiver::Proc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"PushTestReceiver";
    ::RegisterClassW(&window_class);
    window_ = ::CreateWindowExW(0, L"PushTestReceiver", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Receiver() { ::DestroyWindow(window_); }
  HWND window() const { return window_; }
  std::atomic<int> received{0};
  std::wstring last;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
      auto* self = reinterpret_cast<Receiver*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      self->last = reinterpret_cast<const wchar_t*>(lparam);
      ++self->received;
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  HWND window_ = nullptr;
};

TEST(PushSchedulerThread, ShowsWhatIsDueAndStopsWhileItsShowingWaitsForTheWindow) {
  Receiver receiver;
  ASSERT_NE(receiver.window(), nullptr);
  unique_handle sending(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::atomic<int> fetched{0};
  PushScheduler scheduler({[&] {
                             ++fetched;
                             return std::wstring(LR"({"data":[{"MsgId":"7","timeType":"0","PushNum":"100"}]})");
                           },
                           [] { return true; },
                           [&](const std::wstring& text) {
                             ::SetEvent(sending.get());
                             ::SendMessageW(receiver.window(), WM_APP, 0, reinterpret_cast<LPARAM>(text.c_str()));
                           }},
                          20);
  ASSERT_TRUE(scheduler.Start());
  // The thread is now inside SendMessage to a window of this thread, which is
  // not answering: Stop must still end it, answering the message itself.
  ASSERT_EQ(::WaitForSingleObject(sending.get(), 5000), WAIT_OBJECT_0);
  scheduler.Stop();
  EXPECT_EQ(fetched.load(), 1);
  EXPECT_GE(receiver.received.load(), 1);
  EXPECT_EQ(receiver.last, L"|7||||0|0|1|0|0");
  // Nothing arrives once Stop has returned.
  const int after_stop = receiver.received.load();
  testing::PumpFor(300ms);
  EXPECT_EQ(receiver.received.load(), after_stop);
}

}  // namespace
}  // namespace tarvolin
