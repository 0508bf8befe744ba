#include "fork_safe_mutex.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace pelm {

// The library has three such locks (the AES-128 engine's, the deflate
// pool's, libcrypto's); room for a few more.
constexpr int kMaxLocks = 8;

// Nothing here may wait on a lock of its own while a fork can happen: a lock
// another thread held at that moment would stay taken in the child. So the
// registry is a row of atomic slots, filled in order, and the handlers are
// installed through pthread_once, which the C library resets in a child
// forked in the middle of it.
struct ForkHandlers {
  static std::atomic<ForkSafeMutex*> slots[kMaxLocks];
  // Forks between their prepare and release steps.
  static std::atomic<int> forks_waiting;
  static pthread_once_t installed;

  static void install() {
    if (pthread_atfork(prepare, release_in_parent, release_in_child) != 0) std::abort();
  }

  // Claims the first free slot, unless another thread has put the same lock
  // in one already.
  static void add(ForkSafeMutex* lock) {
    for (std::atomic<ForkSafeMutex*>& slot : slots) {
      ForkSafeMutex* expected = nullptr;
      if (slot.compare_exchange_strong(expected, lock) || expected == lock) {
        lock->registered_.store(true, std::memory_order_release);
        return;
      }
    }
    std::abort();  // more locks than slots: a build fault, never input
  }

  // The handlers may be installed twice in a child forked just after the
  // parent installed them; the depth keeps one fork to one round.
  static thread_local int depth;
  // How many slots this fork locked: a lock registered during the fork is
  // not among them.
  static thread_local int locked;

  // Taken in slot order, released in reverse.
  static void prepare() {
    if (depth++ > 0) return;
    forks_waiting.fetch_add(1);
    for (locked = 0; locked < kMaxLocks; ++locked) {
      ForkSafeMutex* lock = slots[locked].load();
      if (lock == nullptr) break;
      lock->mutex_.lock();
    }
  }
  static bool unlock_all() {
    if (--depth > 0) return false;
    while (locked > 0) slots[--locked].load()->mutex_.unlock();
    return true;
  }
  static void release_in_parent() {
    if (unlock_all()) forks_waiting.fetch_sub(1);
  }
  // The child's only thread is this one: no fork of its is waiting, whatever
  // other threads of the parent were doing.
  static void release_in_child() {
    if (unlock_all()) forks_waiting.store(0);
  }
};

std::atomic<ForkSafeMutex*> ForkHandlers::slots[kMaxLocks] = {};
std::atomic<int> ForkHandlers::forks_waiting{0};
pthread_once_t ForkHandlers::installed = PTHREAD_ONCE_INIT;
thread_local int ForkHandlers::depth = 0;
thread_local int ForkHandlers::locked = 0;

namespace {
// How many ForkSafeMutexes this thread holds. Only a thread holding none
// steps aside for a fork: one holding a lock the fork also waits for must
// go on to release it.
thread_local int t_locks_held = 0;
}  // namespace

void ForkSafeMutex::lock() {
  pthread_once(&ForkHandlers::installed, ForkHandlers::install);
  // Registered before the check below: a fork that has not seen this lock
  // in its slots has already raised forks_waiting, so this thread waits.
  if (!registered_.load(std::memory_order_acquire)) ForkHandlers::add(this);
  if (t_locks_held == 0) {
    while (ForkHandlers::forks_waiting.load() != 0) std::this_thread::yield();
  }
  mutex_.lock();
  ++t_locks_held;
}

void ForkSafeMutex::unlock() {
  --t_locks_held;
  mutex_.unlock();
}

}  // namespace pelm
