// Sizes at the 32-bit limits and exhausted memory: clean failures, output
// untouched, never a crash.
#include <android/log.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "pelm/envelope.h"
#include "test_support.h"

using namespace pelm::test;

namespace {

const std::string kKeyText(64, '1');
const std::string kIvText(32, '2');

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Runs `body` in a child whose address space may grow by only `headroom`
// bytes more; returns the child's exit code.
template <typename Body>
int run_with_memory_cap(size_t headroom, Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    const rlim_t cap = pages * sysconf(_SC_PAGESIZE) + headroom;
    rlimit limit{cap, cap};
    setrlimit(RLIMIT_AS, &limit);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(EnvelopeLimits, EnvelopeTextOf2GiBIsABase64Error) {
  std::string huge;
  try {
    huge.assign(size_t{1} << 31, 'A');
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "cannot allocate 2 GiB here";
  }
  LogCapture capture;
  std::string out = "untouched";
  EXPECT_FALSE(myDecrypt(kKeyText, kIvText, huge, out));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(capture.records(),
            (std::vector<LogRecord>{{ANDROID_LOG_ERROR, "tagName", "base64 error"}}));
}

TEST(EnvelopeLimits, FailedAllocationsFailTheCall) {
  if (kSanitized) GTEST_SKIP() << "sanitizers reserve address space up front";
#ifdef PELM_UNDER_EMULATOR
  GTEST_SKIP() << "an emulator needs address space of its own";
#endif
  // 64 MiB of data needs a 128 MiB compression buffer; 96 MiB of Base64
  // needs a 96 MiB decoding buffer. Neither fits in 32 MiB of headroom.
  const std::string data(64 << 20, 'x');
  const std::string text(96 << 20, 'A');
  const int code = run_with_memory_cap(32 << 20, [&] {
    std::string out = "untouched";
    if (myEncrypt(kKeyText, kIvText, data, out) || out != "untouched") return 1;
    if (myDecrypt(kKeyText, kIvText, text, out) || out != "untouched") return 2;
    return 0;
  });
  EXPECT_EQ(code, 0);
}
