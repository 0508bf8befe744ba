// A process-wide lock that fork() never leaves held in the child. Before a
// fork the forking thread takes every such lock (waiting for any call in
// progress to finish), and parent and child each release them after, so a
// child can use the library whatever the parent's other threads were doing.
// While a fork waits for the locks, threads that hold none of them wait to
// take one, so a thread calling in a tight loop cannot keep the fork out.
// Constant-initialised: nothing runs at load; the fork handlers are
// registered the first time any such lock is taken.
#ifndef PELM_LOCKS_FORK_SAFE_MUTEX_H
#define PELM_LOCKS_FORK_SAFE_MUTEX_H

#include <atomic>
#include <mutex>

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
  std::mutex mutex_;
  std::atomic<bool> registered_{false};
};

}  // namespace pelm

#endif
