#include "fork_safe_mutex.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace pelm {

// The library has two such locks (the AES-128 engine's and the deflate
// pool's); room for a few more.
constexpr int kMaxLocks = 8;

struct ForkHandlers {
  static ForkSafeMutex* locks[kMaxLocks];
  static std::atomic<int> count;
  static std::mutex registering;
  // Forks between their prepare and release steps.
  static std::atomic<int> forks_waiting;

  // Always taken in registration order, released in reverse. Holding
  // `registering` too keeps a lock being registered on another thread from
  // slipping past the fork.
  static void prepare() {
    forks_waiting.fetch_add(1);
    registering.lock();
    const int n = count.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i) locks[i]->mutex_.lock();
  }
  static void unlock_all() {
    for (int i = count.load(std::memory_order_acquire); i-- > 0;) locks[i]->mutex_.unlock();
    registering.unlock();
  }
  static void release_in_parent() {
    unlock_all();
    forks_waiting.fetch_sub(1);
  }
  // The child's only thread is this one: no fork of its is waiting, whatever
  // other threads of the parent were doing.
  static void release_in_child() {
    unlock_all();
    forks_waiting.store(0);
  }

  static void add(ForkSafeMutex* lock) {
    std::lock_guard<std::mutex> guard(registering);
    static const bool handlers =
        pthread_atfork(prepare, release_in_parent, release_in_child) == 0;
    if (!handlers || count.load() == kMaxLocks) std::abort();  // a build fault, never input
    // Registered while not held: a fork from here on takes it too.
    locks[count.load()] = lock;
    count.fetch_add(1, std::memory_order_release);
  }
};

ForkSafeMutex* ForkHandlers::locks[kMaxLocks];
std::atomic<int> ForkHandlers::count{0};
std::mutex ForkHandlers::registering;
std::atomic<int> ForkHandlers::forks_waiting{0};

namespace {
// How many ForkSafeMutexes this thread holds. Only a thread holding none
// steps aside for a fork: one holding a lock the fork also waits for must
// go on to release it.
thread_local int t_locks_held = 0;
}  // namespace

void ForkSafeMutex::lock() {
  std::call_once(registered_, [this] { ForkHandlers::add(this); });
  if (t_locks_held == 0) {
    while (ForkHandlers::forks_waiting.load(std::memory_order_acquire) != 0) {
      std::this_thread::yield();
    }
  }
  mutex_.lock();
  ++t_locks_held;
}

void ForkSafeMutex::unlock() {
  --t_locks_held;
  mutex_.unlock();
}

}  // namespace pelm
