// At load the engine holds an all-zero round key schedule (not the expansion
// of any key) and an all-zero chaining value. Only a fresh process shows it.
#include <gtest/gtest.h>

#include <cstring>

#include "aes128/engine.h"
#include "pelm/aes128.h"
#include "test_support.h"

using namespace pelm::aes128;
using namespace pelm::test;

TEST(FreshEngine, FirstKeylessCbcCallUsesZeroScheduleAndZeroChain) {
  const std::string pt = "sixteen bytes!!!sixteen more....";
  std::string ct(32, '\0');
  qpppqp(reinterpret_cast<uint8_t*>(&ct[0]), u8(pt), 32, nullptr, nullptr);

  // The same two blocks through the internal cipher with a zeroed schedule:
  // block 0 chained on zeros, block 1 on ciphertext block 0.
  EngineAccess access;  // g_engine is this thread's until the end of scope
  for (uint8_t b : g_engine.round_keys) ASSERT_EQ(b, 0);
  std::string expected = pt;
  uint8_t* block0 = reinterpret_cast<uint8_t*>(&expected[0]);
  g_engine.block = block0;
  Cipher();
  for (int i = 0; i < 16; ++i) block0[16 + i] ^= block0[i];
  g_engine.block = block0 + 16;
  Cipher();
  EXPECT_EQ(to_hex(ct), to_hex(expected));
  EXPECT_NE(to_hex(ct.substr(0, 16)), to_hex(pt.substr(0, 16)));
}
