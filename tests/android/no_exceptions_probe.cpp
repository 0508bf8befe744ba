// Runs the library as built without exceptions on LLVM's libc++ (see
// libcxx_runtime_check.sh): the C++ exports work, and when the k-th
// allocation of a call fails, the call returns false, for every k but the
// last: that one is the std::string result, whose failure must end the
// process with SIGABRT, never return or crash otherwise. Each failing
// allocation is tried in a child process of its own.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pelm/envelope.h"

extern "C" void* __libc_malloc(size_t size);

namespace {

// Counts the allocations while armed and fails the one numbered fail_at.
bool g_armed = false;
long g_count = 0, g_fail_at = 0;

}  // namespace

extern "C" void* malloc(size_t size) {
  if (g_armed && ++g_count == g_fail_at) return nullptr;
  return __libc_malloc(size);
}

namespace {

const std::string kKey(64, 'a'), kIv(32, '0');

enum Call { kSeal, kOpen, kHexLine };
const char* const kNames[] = {"myEncrypt", "myDecrypt", "myHexLine"};

bool run(Call call, const std::string& input) {
  std::string out = "old";
  switch (call) {
    case kSeal:
      return myEncrypt(kKey, kIv, input, out);
    case kOpen:
      return myDecrypt(kKey, kIv, input, out);
    case kHexLine:
      return myHexLine(input).size() == input.size() / 2;
  }
  return false;
}

// The number of allocations the call makes, and whether it succeeds.
long count_allocations(Call call, const std::string& input, bool& ok) {
  g_count = 0;
  g_fail_at = 0;
  g_armed = true;
  ok = run(call, input);
  g_armed = false;
  return g_count;
}

// The call with allocation k failing, in a child: 0 for a false result, 2
// for a true one, or the signal number (as 100 + signal) it died of.
int outcome_with_failure(Call call, const std::string& input, long k) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(open("/dev/null", O_WRONLY), 2);  // the failures' error records
    g_count = 0;
    g_fail_at = k;
    g_armed = true;
    const bool ok = run(call, input);
    g_armed = false;
    _exit(ok ? 2 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) return 100 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace

int main() {
  int failures = 0;
  // A text above the string's inline room, with NUL bytes inside.
  std::string text(5000, 'x');
  text[10] = '\0';
  std::string envelope, opened;
  if (!myEncrypt(kKey, kIv, text, envelope) || !myDecrypt(kKey, kIv, envelope, opened) ||
      opened != text) {
    std::printf("FAIL a seal and open do not give the text back\n");
    ++failures;
  }
  if (myHexLine("0aFf") != std::string("\x0a\xff") || !myHexLine("abc").empty()) {
    std::printf("FAIL myHexLine\n");
    ++failures;
  }
  const std::string hex(4000, 'e');
  const struct {
    Call call;
    const std::string& input;
  } calls[] = {{kSeal, text}, {kOpen, envelope}, {kHexLine, hex}};
  for (const auto& c : calls) {
    bool ok = false;
    const long count = count_allocations(c.call, c.input, ok);
    if (!ok || count == 0) {
      std::printf("FAIL %s: %s with %ld allocations\n", kNames[c.call], ok ? "true" : "false", count);
      ++failures;
      continue;
    }
    for (long k = 1; k <= count; ++k) {
      const int got = outcome_with_failure(c.call, c.input, k);
      const int expected = k == count ? 100 + SIGABRT : 0;
      if (got != expected) {
        std::printf("FAIL %s with allocation %ld of %ld failing: %d, expected %d\n",
                    kNames[c.call], k, count, got, expected);
        ++failures;
      }
    }
    std::printf("%s: %ld allocation(s); each failing in turn gives false, the std::string "
                "result's SIGABRT\n", kNames[c.call], count);
  }
  return failures == 0 ? 0 : 1;
}
