// fork() at the moments the engine's lock makes dangerous: while other
// threads are inside the AES-128 engine and taking deflate streams, from the
// app's own pthread_atfork handlers (registered before and after the
// library's) that call the library, and from a signal handler that
// interrupted an engine call. No fork waits long, every result is right, and
// the child completes every kind of call. Then threads cancelled inside
// library calls.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "aes128/engine.h"
#include "pelm/aes128.h"
#include "pelm/envelope.h"
#include "pelm/text_cipher.h"

namespace {

const std::string kKeyText(64, 'a'), kIvText(32, 'b');

// Every kind of engine and text cipher call, on inputs of its own; each
// returns its output. The references are their outputs on a quiet engine.
using EngineCall = std::string (*)();
const uint8_t kKey[16] = {1, 2, 3}, kIv[16] = {4, 5, 6}, kData[40] = {7, 8, 9};

std::string bytes(const uint8_t* data, size_t length) {
  return std::string(reinterpret_cast<const char*>(data), length);
}

template <void (*kOperation)(const uint8_t*, const uint8_t*, uint8_t*, uint32_t)>
std::string ecb() {
  uint8_t out[16];
  kOperation(kData, kKey, out, 16);
  return bytes(out, sizeof out);
}

template <void (*kOperation)(uint8_t*, const uint8_t*, uint32_t, const uint8_t*, const uint8_t*)>
std::string buffer_mode() {
  uint8_t out[48] = {};
  kOperation(out, kData, sizeof kData, kKey, kIv);
  return bytes(out, sizeof out);
}

std::string text_cipher() {
  char* hex = ll11l1l1ll(kKey, kIv, "a text for the text cipher");
  char* back = hex ? ll11lll11l(kKey, kIv, hex) : nullptr;
  std::string result = std::string(hex ? hex : "(null)") + "/" + (back ? back : "(null)");
  std::free(hex);
  std::free(back);
  return result;
}

std::string envelope() {
  std::string sealed, opened;
  if (!myEncrypt(kKeyText, kIvText, "an envelope", sealed)) return "seal failed";
  if (!myDecrypt(kKeyText, kIvText, sealed, opened)) return "open failed";
  return sealed + "/" + opened;
}

const EngineCall kEveryCall[] = {ecb<qqppqp>, ecb<qqppqq>, buffer_mode<qpppqp>, buffer_mode<qqqpqp>,
                                 buffer_mode<qppqqp>, text_cipher, envelope};
constexpr size_t kCalls = sizeof kEveryCall / sizeof kEveryCall[0];
std::string g_reference[kCalls];
std::atomic<bool> g_references_made{false};

// Made on first use, not at load: the first test needs a library that has
// not been called yet.
void make_references() {
  if (g_references_made) return;
  for (size_t i = 0; i < kCalls; ++i) g_reference[i] = kEveryCall[i]();
  g_references_made = true;
}

// 0 when every call gives its reference, else 1 + the first that did not.
int every_call_right() {
  for (size_t i = 0; i < kCalls; ++i) {
    if (kEveryCall[i]() != g_reference[i]) return 1 + static_cast<int>(i);
  }
  return 0;
}

// The child's work; its exit status says how it went.
int child_work() {
  alarm(30);  // a hang ends the child, which the parent then sees
  return every_call_right();
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
    alarm(60);
    _exit(scenario());
  }
  return supervised < 0 ? -2 : wait_for(supervised, std::chrono::seconds(70));
}

// The app's fork handlers. One set is registered when the program loads,
// before the library's first call (and so before its handlers); another in
// the test, after them. Each makes every kind of call when the test asks,
// and records whether every result was right. The first set runs between
// the library's prepare and its parent or child handler, where no signal may
// be taken (a fork from a signal handler there would find the library's
// handlers half-way); the second outside it, where signals are as the app
// left them.
std::atomic<bool> g_call_in_handlers{false};
std::atomic<int> g_handler_calls{0}, g_handler_failures{0}, g_signals_misjudged{0};

bool usr2_blocked() {
  sigset_t now;
  pthread_sigmask(SIG_BLOCK, nullptr, &now);
  return sigismember(&now, SIGUSR2) == 1;
}

template <bool kInsideTheLibrarysHandlers>
void library_call_from_handler() {
  if (!g_call_in_handlers) return;
  g_handler_calls++;
  if (every_call_right() != 0) g_handler_failures++;
  if (usr2_blocked() != kInsideTheLibrarysHandlers) g_signals_misjudged++;
}

const bool g_registered_before_the_library = [] {
  return pthread_atfork(library_call_from_handler<true>, library_call_from_handler<true>,
                        library_call_from_handler<true>) == 0;
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
  make_references();  // installs the library's handlers
  ASSERT_EQ(pthread_atfork(library_call_from_handler<false>, library_call_from_handler<false>,
                           library_call_from_handler<false>),
            0);
  const int status = in_own_process([] {
    g_call_in_handlers = true;
    const pid_t child = fork();  // four prepare and parent calls; two in the child
    const bool handlers_right = g_handler_failures == 0 && g_handler_calls == 4;
    if (child == 0) _exit(handlers_right && g_signals_misjudged == 0 && child_work() == 0 ? 0 : 1);
    if (child < 0) return 2;
    const int child_status = wait_for(child, std::chrono::seconds(30));
    if (child_status != 0) return 10 + child_status;
    return !handlers_right ? 3 : g_signals_misjudged != 0 ? 4 : 0;
  });
  // 0: done; 11: a call failed in the child, or signals were open in the
  // library's handlers; 3: a call failed in the parent; 4: signals were
  // open between the library's handlers or blocked outside; 142: a hang.
  EXPECT_EQ(status, 0);
}

namespace {

// The signal's handler forks; the child goes on where the handler
// interrupted it, and the interrupted thread then uses the library again.
std::atomic<pid_t> g_signal_child{0};
volatile sig_atomic_t g_in_signal_child = 0;

// qemu's user mode enters signal handlers on x86 on a stack off the 16-byte
// alignment the ABIs promise (by 4 under qemu-i386, by 8 under qemu-x86_64;
// Linux itself keeps it); the handler realigns, so what it calls (the
// library's vector code among it) gets the ABI's stack there too.
#if defined(__i386__) || defined(__x86_64__)
#define PELM_REALIGNED_HANDLER __attribute__((force_align_arg_pointer))
#else
#define PELM_REALIGNED_HANDLER
#endif

PELM_REALIGNED_HANDLER void fork_in_handler(int) {
  const pid_t child = fork();
  if (child == 0) {
    g_in_signal_child = 1;
  } else {
    g_signal_child = child;
  }
}

}  // namespace

// The app's fork handlers registered before the library's make every kind
// of call while a signal handler forks in the middle of an engine call on
// the same thread: neither the interrupted call nor theirs may come out
// wrong, in the parent or in the child.
// On both paths: the software one reads its round keys from the state
// block by block, where a call that replaced them would show at once.
class FromASignalHandler : public testing::TestWithParam<bool> {};

TEST_P(FromASignalHandler, ThatInterruptedAnEngineCallEveryResultIsRight) {
  if (!kMallocSurvivesFork) GTEST_SKIP() << "AddressSanitizer's malloc is not fork-safe in this toolchain";
  make_references();
  const bool software = GetParam();
  const int status = in_own_process([software] {
    pelm::aes128::force_compact_engine(software);
    struct sigaction action = {};
    action.sa_handler = fork_in_handler;
    sigaction(SIGUSR1, &action, nullptr);
    g_call_in_handlers = true;
    std::atomic<bool> started{false};
    std::atomic<int> wrong{0};
    // Inside the engine nearly all the time, on buffers allocated first:
    // the signal must not land in malloc, which glibc's fork cannot survive.
    // A short call keeps it there as well as a long one, on any machine.
    std::thread busy([&] {
      const std::vector<uint8_t> plain(1 << 14, 0x5a);
      std::vector<uint8_t> expected(plain.size()), out(plain.size());
      const uint8_t key[16] = {9}, iv[16] = {8};
      const uint32_t length = static_cast<uint32_t>(plain.size());
      qpppqp(expected.data(), plain.data(), length, key, iv);
      for (;;) {
        started = true;
        qpppqp(out.data(), plain.data(), length, key, iv);
        const bool right = out == expected;
        if (g_in_signal_child) _exit(!right ? 5 : g_handler_failures != 0 ? 6 : child_work());
        if (!right) wrong++;
      }
    });
    while (!started) std::this_thread::yield();
    int outcome = 0;
    for (int round = 0; round < 10 && outcome == 0; ++round) {
      g_signal_child = 0;
      pthread_kill(busy.native_handle(), SIGUSR1);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (g_signal_child == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (g_signal_child <= 0) {
        outcome = 4;  // the fork never returned in the parent
      } else {
        outcome = wait_for(g_signal_child, std::chrono::seconds(30));
      }
    }
    if (outcome == 0 && wrong != 0) outcome = 7;
    if (outcome == 0 && g_handler_failures != 0) outcome = 8;
    busy.detach();  // it never ends by itself: _exit ends it
    return outcome;
  });
  // 0: done; 1-7 (the call's place in the table): a call of the child came
  // out wrong; 5: the interrupted call did, in the child; 6: a handler's call
  // did, before the child; 7, 8: the same in the parent; -1: the child
  // hung; 4: the fork hung in the parent; 142: a hang.
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Fork, FromASignalHandler, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& path) {
                           return path.param ? "SoftwarePath" : "BestPath";
                         });

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

namespace {

// A thread asked to cancel before a library call: the call must run to its
// end (wiping and freeing what it holds) and the thread be cancelled at its
// next cancellation point after it. The failing calls write the error log,
// a cancellation point inside them.
struct CancelledCall {
  const char* name;
  std::function<bool()> call;  // true when the call gave what it should
  int outcome = 0;             // 1: the call returned and was right; 2: returned wrong
};

void* run_cancelled(void* argument) {
  auto* entry = static_cast<CancelledCall*>(argument);
  pthread_cancel(pthread_self());  // pending until a cancellation point
  const bool right = entry->call();
  entry->outcome = right ? 1 : 2;
  pthread_testcancel();
  return nullptr;  // reached only if no cancellation was pending
}

}  // namespace

TEST(Cancellation, ACallCancelledMidWayFinishesFirstAndLeavesTheLibraryUsable) {
  make_references();
  const std::string sealed = g_reference[kCalls - 1].substr(0, g_reference[kCalls - 1].find('/'));
  std::vector<CancelledCall> calls = {
      {"seal", [] { std::string out; return myEncrypt(kKeyText, kIvText, "text", out); }},
      {"seal with a short key", [] { std::string out; return !myEncrypt("ab", kIvText, "text", out); }},
      {"open", [&] { std::string out; return myDecrypt(kKeyText, kIvText, sealed, out) && out == "an envelope"; }},
      {"open a damaged envelope", [&] { std::string out; return !myDecrypt(kKeyText, kIvText, "!" + sealed, out); }},
      {"open with the wrong key", [&] {
         std::string out;
         return !myDecrypt(std::string(64, 'c'), kIvText, sealed, out);
       }},
      {"every engine call", [] { return every_call_right() == 0; }},
  };
  for (CancelledCall& entry : calls) {
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, run_cancelled, &entry), 0);
    void* result = nullptr;
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, PTHREAD_CANCELED) << entry.name;
    // 0: cancelled inside the call, its buffers neither wiped nor freed.
    EXPECT_EQ(entry.outcome, 1) << entry.name;
  }
  EXPECT_EQ(every_call_right(), 0);
  const int status = in_own_process([] { return child_work(); });
  EXPECT_EQ(status, 0);
}
