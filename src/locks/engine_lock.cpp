#include "engine_lock.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>

namespace pelm {

namespace {

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;

// This thread's place, as the code it runs and any signal handler that
// interrupts that code on the same thread see it. The signal fences keep
// the compiler from moving the lock calls across these marks.
struct ThreadMarks {
  bool inside = false;     // from before taking the lock to after releasing it
  bool holding = false;    // from after taking the lock to before releasing it
  int fork_depth = 0;      // inside the library's fork handlers (maybe installed twice)
  bool fork_holds = false;  // this thread's fork took the lock in prepare
  sigset_t mask_before_fork;
};
thread_local ThreadMarks t_marks;

void mark(bool& flag, bool value) {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  flag = value;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Signals stay blocked from the library's prepare handler to its parent or
// child handler: no handler of the app's runs a nested fork in between.
void prepare() {
  ThreadMarks& marks = t_marks;
  if (marks.fork_depth++ > 0) return;
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &marks.mask_before_fork);
  // Forking from a signal handler that interrupted this thread's own engine
  // call: the lock is this thread's or about to be; waiting would be for
  // itself. No other thread's call can then be mid-way but one that is
  // waiting or leaving, and the child sorts that out.
  if (!marks.inside) {
    pthread_mutex_lock(&g_mutex);
    marks.fork_holds = true;
  }
}

// False when this round of the handlers is not the outermost.
bool leave_fork_handlers() {
  ThreadMarks& marks = t_marks;
  if (marks.fork_depth == 0) return false;
  return --marks.fork_depth == 0;
}

void release_in_parent() {
  ThreadMarks& marks = t_marks;
  if (!leave_fork_handlers()) return;
  if (marks.fork_holds) {
    marks.fork_holds = false;
    pthread_mutex_unlock(&g_mutex);
  }
  pthread_sigmask(SIG_SETMASK, &marks.mask_before_fork, nullptr);
}

// The child has this one thread. A lock its fork took is released; one
// that its interrupted engine call holds stays held for that call to
// release; otherwise whatever another thread held is free now.
void release_in_child() {
  ThreadMarks& marks = t_marks;
  if (!leave_fork_handlers()) return;
  if (marks.fork_holds) {
    marks.fork_holds = false;
    pthread_mutex_unlock(&g_mutex);
  } else if (!marks.holding) {
    pthread_mutex_init(&g_mutex, nullptr);
  }
  pthread_sigmask(SIG_SETMASK, &marks.mask_before_fork, nullptr);
}

// pthread_atfork holds the C library's fork-handler lock while it
// registers, and fork() takes that lock too: a signal handler that forked
// on this thread in that moment would wait for itself. So no signal is
// taken on this thread until the handlers are in. pthread_once is reset by
// the C library in a child forked in the middle of it.
pthread_once_t g_install_once = PTHREAD_ONCE_INIT;
std::atomic<bool> g_installed{false};

void install() {
  if (pthread_atfork(prepare, release_in_parent, release_in_child) != 0) std::abort();
}

void install_fork_handlers() {
  if (g_installed.load(std::memory_order_acquire)) return;
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  pthread_once(&g_install_once, install);
  g_installed.store(true, std::memory_order_release);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

EngineEntry enter_engine() {
  install_fork_handlers();
  ThreadMarks& marks = t_marks;
  if (marks.inside) return EngineEntry::kNested;
  mark(marks.inside, true);
  if (!marks.fork_holds) pthread_mutex_lock(&g_mutex);
  mark(marks.holding, true);
  return EngineEntry::kShared;
}

void leave_engine(EngineEntry entry) {
  if (entry == EngineEntry::kNested) return;
  ThreadMarks& marks = t_marks;
  mark(marks.holding, false);
  if (!marks.fork_holds) pthread_mutex_unlock(&g_mutex);
  mark(marks.inside, false);
}

}  // namespace pelm
