#include "common/named_lock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/strings.h"

namespace tarvolin {
namespace {

constexpr long kTestLock = 0x7E57001;

// Four threads count through the lock; a count lost means two held it at once.
int CountThroughLock(long id) {
  int counter = 0;  // unguarded but for the lock
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        NamedLock hold(id);
        int seen = counter;
        if (i % 97 == 0) Sleep(0);
        counter = seen + 1;
      }
    });
  for (auto& t : threads) t.join();
  return counter;
}

TEST(NamedLock, ExcludesOtherThreads) { EXPECT_EQ(CountThroughLock(kTestLock), 8000); }

// Another program took the name for an event: there is no mutex to be had.
// That must never pass for holding the lock; the threads of this process still
// keep each other out, and the first holder hears of it once.
TEST(NamedLock, ANameTakenByAnotherKindOfObjectFallsBackToThisProcess) {
  constexpr long kTaken = kTestLock + 2;
  HANDLE squatter = CreateEventW(nullptr, TRUE, TRUE, FormatWide(L"Lock%ld", kTaken).c_str());
  ASSERT_NE(squatter, nullptr);
  {
    NamedLock first(kTaken);
    EXPECT_EQ(first.reach(), LockReach::kThisProcessNewly);
  }
  {
    NamedLock again(kTaken);
    EXPECT_EQ(again.reach(), LockReach::kThisProcess);
  }
  EXPECT_EQ(NamedLockError(kTaken), static_cast<unsigned long>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CountThroughLock(kTaken), 8000);
  CloseHandle(squatter);
}

TEST(NamedLock, IsSharedByNameAcrossHandles) {
  NamedLock hold(kTestLock);
  EXPECT_EQ(hold.reach(), LockReach::kAllProcesses);
  // Another handle to the same name, as another updater process would open it.
  HANDLE other = CreateMutexW(nullptr, FALSE, L"Lock132476929");  // 0x7E57001 in decimal
  ASSERT_NE(other, nullptr);
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread([&] { result = WaitForSingleObject(other, 0); }).join();
  EXPECT_EQ(result.load(), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(other);
}

TEST(NamedLock, LockOfADeadHolderIsHandedOn) {
  // A thread that ends while holding the lock stands for a process killed mid-update.
  std::thread([] { AcquireNamedLock(kTestLock + 1); }).join();
  std::atomic<bool> acquired{false};
  std::thread waiter([&] {
    NamedLock hold(kTestLock + 1);
    acquired = true;
  });
  for (int i = 0; i < 200 && !acquired; ++i) Sleep(10);
  EXPECT_TRUE(acquired.load());
  if (!acquired) ReleaseNamedLock(kTestLock + 1);  // never leave the waiter stuck
  waiter.join();
}

}  // namespace
}  // namespace tarvolin
