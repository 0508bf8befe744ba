// Shared by the fuzz targets: a silent log and an abort that says why.
#ifndef PELM_FUZZ_SUPPORT_H
#define PELM_FUZZ_SUPPORT_H

#include <android/log.h>

#include <cstdio>
#include <cstdlib>

namespace pelm::fuzz {

// The envelope codec logs every failure; the fuzzer makes millions of them.
inline void silence_log() {
  __android_log_set_logger([](const __android_logger_data*, const char*) {});
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

}  // namespace pelm::fuzz

#endif
