// A host program that keeps the library's failure records off its stderr,
// with liblog's own API, as a server fed untrusted envelopes would.
#include <android/log.h>

#include <cstdio>
#include <string>

#include "pelm/envelope.h"

int main() {
  // The library writes at ERROR; above it, liblog drops the records.
  __android_log_set_minimum_priority(ANDROID_LOG_FATAL);
  std::string out;
  const std::string key(64, '0'), iv(32, '0');
  if (myDecrypt(key, iv, "not an envelope!", out)) return 1;
  if (myDecrypt(key, iv, "AAAAAAAAAAAAAAAAAAAAAAAA", out)) return 1;
  std::puts("two failed opens, no record on stderr");
  return 0;
}
