// Sizes at the 32-bit limits and exhausted memory: clean failures, output
// untouched, never a crash.
#include <android/log.h>
#include <gtest/gtest.h>

#include "pelm/envelope.h"
#include "test_support.h"

using namespace pelm::test;

namespace {
const std::string kKeyText(64, '1');
const std::string kIvText(32, '2');
}  // namespace

TEST(EnvelopeLimits, EnvelopeTextOf2GiBIsABase64Error) {
  std::string huge;
  try {
    huge.assign(size_t{1} << 31, 'A');
  } catch (const std::exception& e) {  // bad_alloc, or length_error in a 32-bit process
    GTEST_SKIP() << "cannot allocate 2 GiB in this process: " << e.what();
  }
  LogCapture capture;
  std::string out = "untouched";
  EXPECT_FALSE(myDecrypt(kKeyText, kIvText, huge, out));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(capture.records(),
            (std::vector<LogRecord>{{ANDROID_LOG_ERROR, "tagName", "base64 error"}}));
}

TEST(EnvelopeLimits, FailedAllocationsFailTheCall) {
  if (!memory_cap_works()) GTEST_SKIP() << "no address-space cap under sanitizers or emulation";
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
