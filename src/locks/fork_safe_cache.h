// A value worked out on first use and kept, without the guard variable of a
// function-local static: a fork() while another thread runs such a static's
// initialiser leaves the child waiting on that guard forever. Two threads
// may both work the value out the first time; it must be the same whoever
// does (what the CPU offers, say), and it must be cheap to drop.
// Constant-initialised: nothing runs at load.
#ifndef PELM_LOCKS_FORK_SAFE_CACHE_H
#define PELM_LOCKS_FORK_SAFE_CACHE_H

#include <atomic>

namespace pelm {

template <typename T>
class ForkSafeCache {
 public:
  constexpr ForkSafeCache() = default;
  ForkSafeCache(const ForkSafeCache&) = delete;
  ForkSafeCache& operator=(const ForkSafeCache&) = delete;

  template <typename WorkOut>
  T get(WorkOut work_out) {
    if (ready_.load(std::memory_order_acquire)) return value_.load(std::memory_order_relaxed);
    const T value = work_out();
    value_.store(value, std::memory_order_relaxed);
    ready_.store(true, std::memory_order_release);
    return value;
  }

 private:
  std::atomic<T> value_{};
  std::atomic<bool> ready_{false};
};

}  // namespace pelm

#endif
