#include "fork_safe_mutex.h"

#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace pelm {

namespace {

// The library has two such locks (the AES-128 engine's, libcrypto's); room
// for a few more.
constexpr int kMaxLocks = 8;
constexpr uint32_t kWaiters = 1;

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                  std::atomic<uint32_t>::is_always_lock_free,
              "the lock word is waited on as a plain 32-bit futex");

uint32_t* futex_word(std::atomic<uint32_t>& word) { return reinterpret_cast<uint32_t*>(&word); }

void wait_while(std::atomic<uint32_t>& word, uint32_t value) {
  syscall(SYS_futex, futex_word(word), FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}

void wake_one(std::atomic<uint32_t>& word) {
  syscall(SYS_futex, futex_word(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// This thread's number: even, never 0, given on first use. A forked child's
// one thread keeps the number it had in the parent.
std::atomic<uint32_t> g_next_thread{0};
thread_local uint32_t t_thread = 0;

uint32_t this_thread_number() {
  if (t_thread == 0) {
    uint32_t n;
    do n = g_next_thread.fetch_add(2, std::memory_order_relaxed) + 2; while (n == 0);
    t_thread = n;
  }
  return t_thread;
}

// How many ForkSafeMutexes this thread holds outside a fork. Only a thread
// holding none steps aside for a fork: one holding a lock the fork also
// waits for must go on to release it.
thread_local int t_locks_held = 0;

}  // namespace

bool ForkSafeMutex::held_by(uint32_t thread) const {
  return (word_.load(std::memory_order_relaxed) & ~kWaiters) == thread;
}

bool ForkSafeMutex::try_acquire(uint32_t thread) {
  uint32_t expected = 0;
  return word_.compare_exchange_strong(expected, thread, std::memory_order_acquire,
                                       std::memory_order_relaxed);
}

// Free -> owned in one compare-and-swap; a waiter marks the word and sleeps
// on it, and takes the lock with the mark kept, since others may sleep too.
void ForkSafeMutex::acquire(uint32_t thread) {
  if (try_acquire(thread)) return;
  for (;;) {
    uint32_t seen = word_.load(std::memory_order_relaxed);
    if (seen == 0) {
      if (word_.compare_exchange_weak(seen, thread | kWaiters, std::memory_order_acquire,
                                      std::memory_order_relaxed)) {
        return;
      }
      continue;
    }
    if ((seen & kWaiters) == 0 &&
        !word_.compare_exchange_weak(seen, seen | kWaiters, std::memory_order_relaxed)) {
      continue;
    }
    wait_while(word_, seen | kWaiters);
  }
}

void ForkSafeMutex::release() {
  if (word_.exchange(0, std::memory_order_release) & kWaiters) wake_one(word_);
}

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

  // This thread's fork: how deep in its handlers it is (they may be
  // installed twice in a child forked just after the parent installed
  // them), which slots it took, and the process it forks from.
  struct Fork {
    int depth = 0;
    unsigned taken = 0;
    pid_t parent = 0;
  };
  static thread_local Fork fork;

  static bool forking() { return fork.depth > 0; }

  static void prepare() {
    if (fork.depth++ > 0) return;
    forks_waiting.fetch_add(1);  // first: from here on, idle threads wait
    fork.parent = getpid();
    fork.taken = 0;
    const uint32_t me = this_thread_number();
    // A thread that holds a lock already (it forks from a signal handler
    // that interrupted a library call) must not wait for the others: their
    // holders may be waiting for the one it holds.
    bool holds_one = false;
    for (const std::atomic<ForkSafeMutex*>& slot : slots) {
      ForkSafeMutex* lock = slot.load();
      if (lock != nullptr && lock->held_by(me)) holds_one = true;
    }
    for (int i = 0; i < kMaxLocks; ++i) {
      ForkSafeMutex* lock = slots[i].load();
      if (lock == nullptr) break;
      if (lock->held_by(me)) continue;
      if (holds_one) {
        if (lock->try_acquire(me)) fork.taken |= 1u << i;
      } else {
        lock->acquire(me);
        fork.taken |= 1u << i;
      }
    }
  }

  // Releases what prepare took, in reverse; false while an outer round of
  // the handlers is still open, or when prepare never ran for this fork
  // (the handlers were installed during it).
  static bool release_taken() {
    if (fork.depth == 0) return false;
    if (--fork.depth > 0) return false;
    for (int i = kMaxLocks - 1; i >= 0; --i) {
      if (fork.taken & (1u << i)) slots[i].load()->release();
    }
    fork.taken = 0;
    return true;
  }

  static void release_in_parent() {
    if (release_taken()) forks_waiting.fetch_sub(1);
  }

  // The child's only thread is this one: a lock any other thread held is
  // free now, and no fork of its is waiting.
  static void free_locks_of_vanished_threads() {
    const uint32_t me = this_thread_number();
    for (const std::atomic<ForkSafeMutex*>& slot : slots) {
      ForkSafeMutex* lock = slot.load();
      if (lock != nullptr && (lock->word_.load() & ~kWaiters) != 0 && !lock->held_by(me)) {
        lock->word_.store(0);
      }
    }
  }

  static void release_in_child() {
    release_taken();
    if (!forking()) {
      free_locks_of_vanished_threads();
      forks_waiting.store(0);
    }
  }
};

std::atomic<ForkSafeMutex*> ForkHandlers::slots[kMaxLocks] = {};
std::atomic<int> ForkHandlers::forks_waiting{0};
pthread_once_t ForkHandlers::installed = PTHREAD_ONCE_INIT;
thread_local ForkHandlers::Fork ForkHandlers::fork;

namespace {

// The first lock installs the fork handlers. pthread_atfork holds the C
// library's fork-handler lock while it registers, and fork() takes that
// lock too: a signal handler that forked on this thread in that moment
// would wait for itself forever. So no signal is taken on this thread
// until the handlers are in.
std::atomic<bool> g_handlers_installed{false};

void install_fork_handlers() {
  if (g_handlers_installed.load(std::memory_order_acquire)) return;
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  pthread_once(&ForkHandlers::installed, ForkHandlers::install);
  g_handlers_installed.store(true, std::memory_order_release);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

void ForkSafeMutex::lock() {
  install_fork_handlers();
  // Registered before the check below: a fork that has not seen this lock
  // in its slots has already raised forks_waiting, so this thread waits.
  if (!registered_.load(std::memory_order_acquire)) ForkHandlers::add(this);
  const uint32_t me = this_thread_number();
  if (ForkHandlers::forking()) {
    // A call from the app's fork handlers on the forking thread.
    if (held_by(me)) {
      ++nested_;
      return;
    }
    // In a child whose fork handlers of the library have not run yet, the
    // other threads' locks are freed first.
    if (getpid() != ForkHandlers::fork.parent) ForkHandlers::free_locks_of_vanished_threads();
    acquire(me);
    ++t_locks_held;
    return;
  }
  if (t_locks_held == 0) {
    while (ForkHandlers::forks_waiting.load() != 0) std::this_thread::yield();
  }
  acquire(me);
  ++t_locks_held;
}

void ForkSafeMutex::unlock() {
  if (nested_ > 0) {
    --nested_;
    return;
  }
  --t_locks_held;
  release();
}

}  // namespace pelm
