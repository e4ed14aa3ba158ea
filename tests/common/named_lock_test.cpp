#include "common/named_lock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tarvolin {
namespace {

constexpr long kTestLock = 0x7E57001;

TEST(NamedLock, ExcludesOtherThreads) {
  int counter = 0;  // unguarded but for the lock
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        NamedLock hold(kTestLock);
        int seen = counter;
        if (i % 97 == 0) Sleep(0);
        counter = seen + 1;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

TEST(NamedLock, IsSharedByNameAcrossHandles) {
  NamedLock hold(kTestLock);
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
