#include "fork_safe_mutex.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>

namespace pelm {

// The library has two such locks (the AES-128 engine's and the deflate
// pool's); room for a few more.
constexpr int kMaxLocks = 8;

struct ForkHandlers {
  static ForkSafeMutex* locks[kMaxLocks];
  static std::atomic<int> count;
  static std::mutex registering;

  // Always taken in registration order, released in reverse. Holding
  // `registering` too keeps a lock being registered on another thread from
  // slipping past the fork.
  static void prepare() {
    registering.lock();
    const int n = count.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i) locks[i]->mutex_.lock();
  }
  static void release() {
    for (int i = count.load(std::memory_order_acquire); i-- > 0;) locks[i]->mutex_.unlock();
    registering.unlock();
  }

  static void add(ForkSafeMutex* lock) {
    std::lock_guard<std::mutex> guard(registering);
    static const bool handlers = pthread_atfork(prepare, release, release) == 0;
    if (!handlers || count.load() == kMaxLocks) std::abort();  // a build fault, never input
    // Registered while not held: a fork from here on takes it too.
    locks[count.load()] = lock;
    count.fetch_add(1, std::memory_order_release);
  }
};

ForkSafeMutex* ForkHandlers::locks[kMaxLocks];
std::atomic<int> ForkHandlers::count{0};
std::mutex ForkHandlers::registering;

void ForkSafeMutex::lock() {
  std::call_once(registered_, [this] { ForkHandlers::add(this); });
  mutex_.lock();
}

}  // namespace pelm
