// fork() while other threads are inside the AES-128 engine and taking
// deflate streams: the fork gets the locks in bounded time (the busy threads
// step aside rather than retake them first), and the child still completes
// an engine call and a seal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace

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
