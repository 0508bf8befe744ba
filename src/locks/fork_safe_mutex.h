// A process-wide lock that fork() never leaves held in the child, and that
// a fork never waits for forever.
//
// The lock word holds its owner's thread number, so whether this thread
// holds a lock is known exactly at every instant, signal handlers included.
// Before a fork the forking thread takes every such lock it does not hold
// (waiting for calls in progress to finish; only try-taking them when it
// holds one already, as when it forks from a signal handler that
// interrupted a library call), and parent and child release what it took.
// While it forks, the library's locks it holds are its own: library calls
// from the app's pthread_atfork handlers on that thread go straight
// through. In the child every lock held by a thread that no longer exists
// is set free. While a fork waits for the locks, threads that hold none of
// them wait to take one, so a thread calling in a tight loop cannot keep the
// fork out.
//
// Not recursive otherwise, and no code holds two at once. Constant-
// initialised: nothing runs at load; the fork handlers are registered the
// first time any such lock is taken.
#ifndef PELM_LOCKS_FORK_SAFE_MUTEX_H
#define PELM_LOCKS_FORK_SAFE_MUTEX_H

#include <atomic>
#include <cstdint>

namespace pelm {

class ForkSafeMutex {
 public:
  constexpr ForkSafeMutex() = default;
  ForkSafeMutex(const ForkSafeMutex&) = delete;
  ForkSafeMutex& operator=(const ForkSafeMutex&) = delete;

  void lock();
  void unlock();

 private:
  friend struct ForkHandlers;
  bool held_by(uint32_t thread) const;
  void acquire(uint32_t thread);
  bool try_acquire(uint32_t thread);
  void release();

  // 0 when free, else the owner's number (even) with bit 0 set while
  // another thread may be waiting.
  std::atomic<uint32_t> word_{0};
  // Entries by the forking thread into a lock it holds: touched by the
  // owner alone.
  int nested_ = 0;
  std::atomic<bool> registered_{false};
};

}  // namespace pelm

#endif
