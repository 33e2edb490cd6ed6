#include "engine/build/node_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace vexa {
namespace {

// Eight threads add to plain counters under a few locks: with mutual exclusion no addition is
// lost. Few locks for many threads keep the waiters past their spins, asleep in the kernel.
TEST(NodeLock, NoUpdateIsLostUnderContention) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20000;
  std::vector<NodeLock> locks(2);
  long counters[2] = {0, 0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        const int which = (t + r) % 2;
        std::lock_guard<NodeLock> hold(locks[which]);
        counters[which] += 1;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counters[0] + counters[1], long{kThreads} * kRounds);
  EXPECT_EQ(counters[0], long{kThreads} * kRounds / 2);
}

// A lock held for a long time (as a node is for its whole insert) makes the others sleep; its
// release wakes every one of them in turn, and each sees what the holder wrote.
TEST(NodeLock, SleepersWakeWhenTheHolderReleases) {
  NodeLock lock;
  int value = 0;
  std::atomic<int> done{0};
  lock.lock();
  std::vector<std::thread> waiters;
  for (int t = 0; t < 4; ++t) {
    waiters.emplace_back([&] {
      std::lock_guard<NodeLock> hold(lock);
      EXPECT_GE(value, 1);
      ++value;
      done.fetch_add(1);
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(done.load(), 0);
  value = 1;
  lock.unlock();
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(done.load(), 4);
  EXPECT_EQ(value, 5);
}

}  // namespace
}  // namespace vexa
