// The engine's internal steps against FIPS-197 Appendices A.1 and C.1.
#include <gtest/gtest.h>

#include <cstring>

#include "aes128/engine.h"
#include "test_support.h"

using namespace pelm::aes128;
using pelm::test::from_hex;
using pelm::test::to_hex;

namespace {

std::string schedule_after_expanding(const std::string& key) {
  EngineAccess access;  // g_engine is this thread's until the end of scope
  g_engine.key = reinterpret_cast<const uint8_t*>(key.data());
  KeyExpansion();
  return std::string(reinterpret_cast<const char*>(g_engine.round_keys), kScheduleSize);
}

}  // namespace

TEST(Engine, KeyExpansionFips197A1) {
  const std::string schedule = schedule_after_expanding(from_hex("2b7e151628aed2a6abf7158809cf4f3c"));
  EXPECT_EQ(to_hex(schedule),
            "2b7e151628aed2a6abf7158809cf4f3c"
            "a0fafe1788542cb123a339392a6c7605"
            "f2c295f27a96b9435935807a7359f67f"
            "3d80477d4716fe3e1e237e446d7a883b"
            "ef44a541a8525b7fb671253bdb0bad00"
            "d4d1c6f87c839d87caf2b8bc11f915bc"
            "6d88a37a110b3efddbf98641ca0093fd"
            "4e54f70e5f5fc9f384a64fb24ea6dc4f"
            "ead27321b58dbad2312bf5607f8d292f"
            "ac7766f319fadc2128d12941575c006e"
            "d014f9a8c9ee2589e13f0cc8b6630ca6");
}

TEST(Engine, CipherAndInvCipherFips197C1) {
  const std::string key = from_hex("000102030405060708090a0b0c0d0e0f");
  const std::string schedule = schedule_after_expanding(key);
  // Round keys 1 and 10 as listed in C.1 (round[ 1].k_sch, round[10].k_sch).
  EXPECT_EQ(to_hex(schedule.substr(16, 16)), "d6aa74fdd2af72fadaa678f1d6ab76fe");
  EXPECT_EQ(to_hex(schedule.substr(160, 16)), "13111d7fe3944a17f307a78b4d2b30c5");

  std::string block = from_hex("00112233445566778899aabbccddeeff");
  EngineAccess access;  // g_engine is this thread's until the end of scope
  g_engine.block = reinterpret_cast<uint8_t*>(&block[0]);
  // round[0].start is the input XOR round key 0.
  AddRoundKey(0);
  EXPECT_EQ(to_hex(block), "00102030405060708090a0b0c0d0e0f0");
  AddRoundKey(0);
  Cipher();
  EXPECT_EQ(to_hex(block), "69c4e0d86a7b0430d8cdb78070b4c55a");
  InvCipher();
  EXPECT_EQ(to_hex(block), "00112233445566778899aabbccddeeff");
}
