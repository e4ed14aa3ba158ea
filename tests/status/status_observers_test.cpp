// Status observers: what the application, the windows and a host program hang
// on the status changes of a run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "status/update_status.h"

namespace tarvolin {
namespace {

using ::testing::ElementsAre;

// Writes down each change with the status stored at the time it is told.
class Recorder final : public StatusObserver {
 public:
  Recorder(const wchar_t* name, std::vector<std::wstring>& seen) : name_(name), seen_(seen) {}
  void OnStatus(int status, HWND report_window) override {
    seen_.push_back(name_ + L"|" + std::to_wstring(status) + L"|" + std::to_wstring(CurrentStatus()) + L"|" +
                    (report_window ? L"window" : L"none"));
  }

 private:
  std::wstring name_;
  std::vector<std::wstring>& seen_;
};

TEST(StatusObservers, ToldInRegistrationOrderAfterTheStatusIsStoredUntilTheyLeave) {
  std::vector<std::wstring> seen;
  Recorder first(L"first", seen), second(L"second", seen);
  {
    StatusObserverRegistration one(first);
    StatusObserverRegistration two(second);
    SetStatus(UpdateDownload, ::GetDesktopWindow());
    {
      Recorder third(L"third", seen);
      StatusObserverRegistration three(third);
      SetStatus(UpdateDownloadOk, nullptr);
    }
    SetStatus(UpdateCheckLocal, nullptr);
  }
  SetStatus(UpdateNone, nullptr);

  EXPECT_THAT(seen, ElementsAre(L"first|4|4|window", L"second|4|4|window", L"first|6|6|none", L"second|6|6|none",
                                L"third|6|6|none", L"first|7|7|none", L"second|7|7|none"));
}

}  // namespace
}  // namespace tarvolin
