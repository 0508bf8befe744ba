// fork() at the moments a library's locks make dangerous: while other
// threads are inside the AES-128 engine and taking deflate streams, from the
// app's own pthread_atfork handlers (registered before and after the
// library's) that call the library, and from a signal handler that
// interrupted a library call. No fork waits long, and the child completes an
// engine call and a seal.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "locks/fork_safe_mutex.h"
#include "pelm/aes128.h"
#include "pelm/envelope.h"

namespace {

const std::string kKeyText(64, 'a'), kIvText(32, 'b');

// The child's work; its exit status says how it went.
int child_work() {
  alarm(10);  // a hang ends the child, which the parent then sees
  uint8_t key[16] = {1}, iv[16] = {2}, block[64] = {3};
  qpppqp(block, block, sizeof block, key, iv);
  std::string envelope, opened;
  if (!myEncrypt(kKeyText, kIvText, "from the child", envelope)) return 1;
  if (!myDecrypt(kKeyText, kIvText, envelope, opened) || opened != "from the child") return 2;
  return 0;
}

// Waits up to `limit` for the child; kills it after that.
int wait_for(pid_t child, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// AddressSanitizer's allocator in gcc 12 and clang 14 takes none of its
// locks around fork(): a child forked while another thread is inside malloc
// can wait forever on the allocator's own mutex, whatever the library does.
constexpr bool kMallocSurvivesFork =
#if defined(__SANITIZE_ADDRESS__)
    false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    false;
#else
    true;
#endif
#else
    true;
#endif

// Runs `scenario` in a process of its own, which a hang ends after 10 s;
// its exit status, as wait_for gives it.
template <typename Scenario>
int in_own_process(Scenario scenario) {
  const pid_t supervised = fork();
  if (supervised == 0) {
    alarm(10);
    _exit(scenario());
  }
  return supervised < 0 ? -2 : wait_for(supervised, std::chrono::seconds(15));
}

// The app's fork handlers. One set is registered when the program loads,
// before the library's first lock (and so before its handlers); another in
// the test, after them. Each calls the library when the test asks, and
// records whether every call worked.
std::atomic<bool> g_call_in_handlers{false};
std::atomic<int> g_handler_calls{0}, g_handler_failures{0};

void library_call_from_handler() {
  if (!g_call_in_handlers) return;
  g_handler_calls++;
  if (child_work() != 0) g_handler_failures++;
}

const bool g_registered_before_the_library = [] {
  return pthread_atfork(library_call_from_handler, library_call_from_handler,
                        library_call_from_handler) == 0;
}();

}  // namespace

namespace {

// The library's fork handlers are registered by its first lock, inside the
// C library's pthread_atfork, which holds the lock fork() takes: a signal
// handler forking there would wait for itself. The test binary routes
// pthread_atfork through this wrapper (-Wl,--wrap), which raises a signal
// when armed: taken at once, it would have been taken inside the C library
// too.
std::atomic<bool> g_raise_in_registration{false};
volatile sig_atomic_t g_registering = 0, g_signal_taken = 0, g_taken_while_registering = 0;

void note_signal(int) {
  g_signal_taken = 1;
  g_taken_while_registering = g_registering;
}

}  // namespace

extern "C" int __real_pthread_atfork(void (*)(), void (*)(), void (*)());
extern "C" int __wrap_pthread_atfork(void (*prepare)(), void (*parent)(), void (*child)()) {
  g_registering = 1;
  if (g_raise_in_registration) raise(SIGUSR2);
  const int result = __real_pthread_atfork(prepare, parent, child);
  g_registering = 0;
  return result;
}

// First in the file: the library must not have installed its handlers yet.
TEST(Fork, NoSignalIsTakenWhileTheLibraryRegistersItsForkHandlers) {
  const int status = in_own_process([] {
    struct sigaction action = {};
    action.sa_handler = note_signal;
    sigaction(SIGUSR2, &action, nullptr);
    g_raise_in_registration = true;
    uint8_t key[16] = {1}, iv[16] = {2}, block[16] = {3};
    qpppqp(block, block, sizeof block, key, iv);  // the library's first lock
    g_raise_in_registration = false;
    if (!g_signal_taken) return 3;
    return g_taken_while_registering ? 1 : 0;
  });
  // 0: taken after the registration; 1: during it; 3: the library had
  // registered before this test (run it first).
  EXPECT_EQ(status, 0);
}

TEST(Fork, LibraryCallsFromTheAppsForkHandlersBeforeAndAfterTheLibrarys) {
  ASSERT_TRUE(g_registered_before_the_library);
  std::string envelope;
  ASSERT_TRUE(myEncrypt(kKeyText, kIvText, "registers the library's handlers", envelope));
  ASSERT_EQ(pthread_atfork(library_call_from_handler, library_call_from_handler,
                           library_call_from_handler),
            0);
  const int status = in_own_process([] {
    g_call_in_handlers = true;
    const pid_t child = fork();  // four prepare and parent calls; two in the child
    if (child == 0) _exit(g_handler_failures == 0 && g_handler_calls == 4 && child_work() == 0 ? 0 : 1);
    if (child < 0) return 2;
    const int child_status = wait_for(child, std::chrono::seconds(10));
    if (child_status != 0) return 10 + child_status;
    return g_handler_failures == 0 && g_handler_calls == 4 ? 0 : 3;
  });
  // 0: done; 1: a call failed in the child; 3: in the parent; 142: a hang.
  EXPECT_EQ(status, 0);
}

namespace {

// The signal's handler forks; the child goes on where the handler
// interrupted it, and the interrupted thread then uses the library again.
std::atomic<pid_t> g_signal_child{0};
volatile sig_atomic_t g_in_signal_child = 0;

void fork_in_handler(int) {
  const pid_t child = fork();
  if (child == 0) {
    g_in_signal_child = 1;
  } else {
    g_signal_child = child;
  }
}

}  // namespace

TEST(Fork, FromASignalHandlerThatInterruptedALibraryCall) {
  if (!kMallocSurvivesFork) GTEST_SKIP() << "AddressSanitizer's malloc is not fork-safe in this toolchain";
  const int status = in_own_process([] {
    struct sigaction action = {};
    action.sa_handler = fork_in_handler;
    sigaction(SIGUSR1, &action, nullptr);
    std::atomic<bool> started{false};
    // Inside the engine nearly all the time, on a buffer allocated first:
    // the signal must not land in malloc, which glibc's fork cannot survive.
    std::thread busy([&] {
      std::vector<uint8_t> buffer(1 << 20);
      uint8_t key[16] = {9}, iv[16] = {8};
      for (;;) {
        started = true;
        qpppqp(buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()), key, iv);
        if (g_in_signal_child) _exit(child_work());
      }
    });
    while (!started) std::this_thread::yield();
    int outcome = 0;
    for (int round = 0; round < 10 && outcome == 0; ++round) {
      g_signal_child = 0;
      pthread_kill(busy.native_handle(), SIGUSR1);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (g_signal_child == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (g_signal_child <= 0) {
        outcome = 4;  // the fork never returned in the parent
      } else {
        outcome = wait_for(g_signal_child, std::chrono::seconds(8));
      }
    }
    busy.detach();  // it never ends by itself: _exit ends it
    return outcome;
  });
  // 0: done; 1, 2: a call failed in the child; -1: the child hung; 4: the
  // fork hung in the parent; 142: a hang.
  EXPECT_EQ(status, 0);
}

namespace {

// How often busy threads took the lock while a fork waited for it: read just
// before the library's prepare handler runs (by a handler registered after
// the library's) and just after it has taken every lock (by one registered
// before).
std::atomic<bool> g_count_takes{false};
std::atomic<long> g_takes{0}, g_takes_at_prepare{0}, g_takes_while_forking{0};

void before_library_prepare() {
  if (g_count_takes) g_takes_at_prepare = g_takes.load();
}

void after_library_prepare() {
  if (g_count_takes) g_takes_while_forking = g_takes.load() - g_takes_at_prepare.load();
}

const bool g_counter_registered_first = pthread_atfork(after_library_prepare, nullptr, nullptr) == 0;

}  // namespace

TEST(Fork, BusyThreadsStepAsideForAFork) {
  if (!kMallocSurvivesFork) GTEST_SKIP() << "AddressSanitizer's malloc is not fork-safe in this toolchain";
  ASSERT_TRUE(g_counter_registered_first);
  // Eight threads take and release a fork-safe lock back to back, with no
  // gap. Stepping aside, each takes it at most once more after a fork starts
  // waiting, plus what they take in the moment between the two handlers
  // (tens of takes here). A lock that lets them go on passes it between them
  // while the fork waits: hundreds of thousands of takes in a quarter or
  // more of the forks. A fork preempted in that moment counts like that too,
  // so a few such forks are allowed.
  static pelm::ForkSafeMutex lock;
  lock.lock();  // registers the library's handlers before the next ones
  lock.unlock();
  ASSERT_EQ(pthread_atfork(before_library_prepare, nullptr, nullptr), 0);
  constexpr int kBusy = 8, kForks = 60;
  constexpr long kManyTakes = 1000;
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (int i = 0; i < kBusy; ++i) {
    busy.emplace_back([&] {
      while (!stop) {
        lock.lock();
        g_takes.fetch_add(1, std::memory_order_relaxed);
        lock.unlock();
      }
    });
  }
  int failed = 0, kept_waiting = 0;
  long most = 0;
  g_count_takes = true;
  for (int round = 0; round < kForks; ++round) {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    kept_waiting += g_takes_while_forking > kManyTakes;
    most = std::max<long>(most, g_takes_while_forking);
    if (child < 0 || wait_for(child, std::chrono::seconds(10)) != 0) ++failed;
  }
  g_count_takes = false;
  stop = true;
  for (auto& t : busy) t.join();
  EXPECT_EQ(failed, 0);
  EXPECT_LT(kept_waiting, 5) << "forks during which busy threads took the lock over " << kManyTakes
                             << " times; most takes during one fork: " << most;
}

TEST(Fork, ChildUsesTheLibraryWhateverTheParentsThreadsWereDoing) {
  if (!kMallocSurvivesFork) GTEST_SKIP() << "AddressSanitizer's malloc is not fork-safe in this toolchain";
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  busy.emplace_back([&] {  // always inside the engine
    std::vector<uint8_t> buffer(1 << 16);
    uint8_t key[16] = {9}, iv[16] = {8};
    while (!stop) qpppqp(buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()), key, iv);
  });
  busy.emplace_back([&] {  // always taking and giving back deflate streams
    std::string envelope;
    while (!stop) myEncrypt(kKeyText, kIvText, std::string(5000, 'x'), envelope);
  });
  int outcome = 0, round = 0;
  for (; round < 20 && outcome == 0; ++round) {
    const auto forking = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(child_work());
    if (std::chrono::steady_clock::now() - forking > std::chrono::seconds(15)) outcome = -3;
    if (child == -1) outcome = -2;
    if (child > 0) {
      const int status = wait_for(child, std::chrono::seconds(15));
      if (outcome == 0) outcome = status;
    }
  }
  stop = true;
  for (auto& t : busy) t.join();
  // 0: done; -1: hung; -2: no fork; -3: fork() waited over 15 s for the
  // locks; 1, 2: a call failed; 128 + n: signal n.
  EXPECT_EQ(outcome, 0) << "in round " << round;
}
