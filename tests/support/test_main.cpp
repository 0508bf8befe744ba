// The test programs' main. With --compact-engine every AES-128 operation
// runs on the compact path, so one suite proves both paths; the switch lives
// in the tests only, never in the shipped library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "aes128/engine.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--compact-engine") == 0) pelm::aes128::force_compact_engine(true);
  }
  std::printf("AES-128 engine path: %s\n", pelm::aes128::engine_kernels().name);
  return RUN_ALL_TESTS();
}
