#ifndef TARVO_ENGINE_BUILD_NODE_LOCK_H_
#define TARVO_ENGINE_BUILD_NODE_LOCK_H_

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace vexa {

// A mutex of four bytes for the builders' one lock per node. A build takes a node's lock for
// nearly every row it reads or edits, at random nodes: N of these fit in the core's own cache
// where N of std::mutex (forty bytes each) do not, and most of a lock's cost was the miss on
// its line. A waiter spins briefly, then sleeps in the kernel until the holder wakes it (a node
// may be held for a whole insert). Use it with std::lock_guard or std::unique_lock.
class NodeLock {
 public:
  NodeLock() = default;
  NodeLock(const NodeLock&) = delete;
  NodeLock& operator=(const NodeLock&) = delete;

  // Takes the lock, waiting while another thread holds it.
  void lock() {
    uint32_t expected = kFree;
    if (state_.compare_exchange_strong(expected, kHeld, std::memory_order_acquire)) return;
    for (int spin = 0; spin < kSpins; ++spin) {
      CpuRelax();
      expected = kFree;
      if (state_.load(std::memory_order_relaxed) == kFree &&
          state_.compare_exchange_strong(expected, kHeld, std::memory_order_acquire)) {
        return;
      }
    }
    // From here on the lock is marked as having sleepers, so that its release wakes one.
    while (state_.exchange(kContended, std::memory_order_acquire) != kFree) Wait();
  }
  // Releases the lock, waking one sleeping waiter if there may be one.
  void unlock() {
    if (state_.exchange(kFree, std::memory_order_release) == kContended) Wake();
  }

 private:
  static constexpr uint32_t kFree = 0;
  static constexpr uint32_t kHeld = 1;       // held, nobody asleep on it
  static constexpr uint32_t kContended = 2;  // held, with waiters that may sleep
  static constexpr int kSpins = 64;

  static void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    __asm__ __volatile__("yield");
#endif
  }
  void Wait() {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&state_), FUTEX_WAIT_PRIVATE, kContended, nullptr, nullptr, 0);
  }
  void Wake() { syscall(SYS_futex, reinterpret_cast<uint32_t*>(&state_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0); }

  std::atomic<uint32_t> state_{kFree};
};

static_assert(sizeof(NodeLock) == 4, "a node lock is four bytes");

}  // namespace vexa

#endif  // TARVO_ENGINE_BUILD_NODE_LOCK_H_
