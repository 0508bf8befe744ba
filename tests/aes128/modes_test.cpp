// Buffer-mode behaviour beyond the standard vectors: chains carried over
// calls, in-place work, tails, and CTR's counter.
#include <gtest/gtest.h>

#include "openssl_reference.h"
#include "pelm/aes128.h"
#include "test_support.h"

using namespace pelm::test;

namespace {
uint8_t* w(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }
const std::string kKey = from_hex("2b7e151628aed2a6abf7158809cf4f3c");
const std::string kIv = from_hex("000102030405060708090a0b0c0d0e0f");
}  // namespace

TEST(Cbc, ChainCarriesOverSplitCalls) {
  std::mt19937_64 rng(5);
  const std::string pt = random_bytes(rng, 64);
  std::string whole(64, '\0'), split;
  qpppqp(w(whole), u8(pt), 64, u8(kKey), u8(kIv));
  {
    std::string iv = kIv, first(32, '\0');
    qpppqp(w(first), u8(pt), 32, u8(kKey), u8(iv));
    split = first;
  }  // the IV and the first output are gone; the chain lives in the engine
  std::string second(32, '\0');
  qpppqp(w(second), u8(pt) + 32, 32, nullptr, nullptr);
  split += second;
  EXPECT_EQ(split, whole);

  std::string back_whole(64, '\0'), back_split(64, '\0');
  qqqpqp(w(back_whole), u8(whole), 64, u8(kKey), u8(kIv));
  qqqpqp(w(back_split), u8(whole), 16, u8(kKey), u8(kIv));
  qqqpqp(w(back_split) + 16, u8(whole) + 16, 48, nullptr, nullptr);
  EXPECT_EQ(back_whole, pt);
  EXPECT_EQ(back_split, pt);
}

TEST(Cbc, InPlaceMatchesSeparateBuffers) {
  std::mt19937_64 rng(6);
  const std::string pt = random_bytes(rng, 80);
  std::string separate(80, '\0'), in_place = pt;
  qpppqp(w(separate), u8(pt), 80, u8(kKey), u8(kIv));
  qpppqp(w(in_place), w(in_place), 80, u8(kKey), u8(kIv));
  EXPECT_EQ(in_place, separate);
  qqqpqp(w(in_place), w(in_place), 80, u8(kKey), u8(kIv));
  EXPECT_EQ(in_place, pt);
}

TEST(Cbc, TailBlocks) {
  std::mt19937_64 rng(7);
  const std::string pt = random_bytes(rng, 20);
  // Encryption: block 1 is the last 4 bytes and 12 zeros, chained on block 0.
  std::string ct(32, '\0');
  qpppqp(w(ct), u8(pt), 20, u8(kKey), u8(kIv));
  EXPECT_EQ(ct, evp(EVP_aes_128_cbc(), kKey, kIv, pt + std::string(12, '\0'), true));
  // The chain stays at ciphertext block 0, not the tail block.
  std::string next(16, '\0');
  const std::string more = random_bytes(rng, 16);
  qpppqp(w(next), u8(more), 16, nullptr, nullptr);
  EXPECT_EQ(next, evp(EVP_aes_128_cbc(), kKey, ct.substr(0, 16), more, true));

  // 4 bytes alone: chained on the IV, and the IV stays the chain.
  std::string short_ct(16, '\0');
  qpppqp(w(short_ct), u8(pt), 4, u8(kKey), u8(kIv));
  EXPECT_EQ(short_ct, evp(EVP_aes_128_cbc(), kKey, kIv, pt.substr(0, 4) + std::string(12, '\0'), true));
  qpppqp(w(next), u8(more), 16, nullptr, nullptr);
  EXPECT_EQ(next, evp(EVP_aes_128_cbc(), kKey, kIv, more, true));

  // Decryption of a tail: the plain inverse cipher of the 4 input bytes and
  // the 12 bytes output held before, with no chaining.
  std::string out(32, '\x5a');
  qqqpqp(w(out), u8(ct), 20, u8(kKey), u8(kIv));
  EXPECT_EQ(out.substr(0, 16), pt.substr(0, 16));
  EXPECT_EQ(out.substr(16), evp(EVP_aes_128_ecb(), kKey, "", ct.substr(16, 4) + std::string(12, '\x5a'), false));
}

TEST(Cbc, LengthZeroStillLoadsKeyAndIv) {
  const std::string other_key = from_hex("000102030405060708090a0b0c0d0e0f");
  const std::string other_iv(16, '\x33');
  qpppqp(nullptr, nullptr, 0, u8(other_key), u8(other_iv));
  const std::string pt(16, 'p');
  std::string ct(16, '\0');
  qpppqp(w(ct), u8(pt), 16, nullptr, nullptr);
  EXPECT_EQ(ct, evp(EVP_aes_128_cbc(), other_key, other_iv, pt, true));
}

TEST(Cbc, KeylessCallsUseTheLastExpandedKeyWhateverTheMode) {
  const std::string ecb_key(16, '\x11'), ctr_key(16, '\x22');
  const std::string pt(16, 'q');
  std::string block(16, '\0'), ct(16, '\0');
  qqppqp(u8(pt), u8(ecb_key), w(block), 16);
  qpppqp(w(ct), u8(pt), 16, nullptr, u8(kIv));
  EXPECT_EQ(ct, evp(EVP_aes_128_cbc(), ecb_key, kIv, pt, true));
  qppqqp(nullptr, nullptr, 0, u8(ctr_key), u8(kIv));  // CTR of nothing still expands
  qpppqp(w(ct), u8(pt), 16, nullptr, u8(kIv));
  EXPECT_EQ(ct, evp(EVP_aes_128_cbc(), ctr_key, kIv, pt, true));
}

TEST(Ecb, LengthOnlySaysHowMuchIsCopied) {
  std::mt19937_64 rng(8);
  const std::string in = random_bytes(rng, 20);
  const std::string before = random_bytes(rng, 24);
  const struct {
    uint32_t length;
    std::string block;   // what gets enciphered
    std::string rest;    // output bytes 16..23 afterwards
  } cases[] = {
      {0, before.substr(0, 16), before.substr(16)},
      {4, in.substr(0, 4) + before.substr(4, 12), before.substr(16)},
      {16, in.substr(0, 16), before.substr(16)},
      {20, in.substr(0, 16), in.substr(16, 4) + before.substr(20)},
  };
  for (const auto& c : cases) {
    std::string out = before;
    qqppqp(u8(in), u8(kKey), w(out), c.length);
    EXPECT_EQ(out.substr(0, 16), evp(EVP_aes_128_ecb(), kKey, "", c.block, true)) << c.length;
    EXPECT_EQ(out.substr(16), c.rest) << c.length;
  }
  // Length 0 with no input at all: the block already in output is enciphered.
  std::string held = before;
  qqppqp(nullptr, u8(kKey), w(held), 0);
  EXPECT_EQ(held.substr(0, 16), evp(EVP_aes_128_ecb(), kKey, "", before.substr(0, 16), true));
  qqppqq(nullptr, u8(kKey), w(held), 0);
  EXPECT_EQ(held, before);
  std::string in_place = in.substr(0, 16);
  qqppqp(u8(in_place), u8(kKey), w(in_place), 16);
  EXPECT_EQ(in_place, evp(EVP_aes_128_ecb(), kKey, "", in.substr(0, 16), true));
}

TEST(Ctr, CounterCarriesAndWraps) {
  const std::string pt(48, '\0');  // output is the keystream itself
  const struct {
    const char* iv;
    const char* second;  // the counter of keystream block 1
  } cases[] = {
      {"000102030405060708090a0bffffffff", "000102030405060708090a0c00000000"},
      {"ffffffffffffffffffffffffffffffff", "00000000000000000000000000000000"},
      {"00000000000000007fffffffffffffff", "00000000000000008000000000000000"},
  };
  for (const auto& c : cases) {
    const std::string iv = from_hex(c.iv);
    std::string ks(48, '\0');
    qppqqp(w(ks), u8(pt), 48, u8(kKey), u8(iv));
    EXPECT_EQ(ks.substr(16, 16), evp(EVP_aes_128_ecb(), kKey, "", from_hex(c.second), true)) << c.iv;
  }
}

TEST(Ctr, WritesExactlyLengthBytesAndIsItsOwnInverse) {
  std::mt19937_64 rng(9);
  const std::string pt = random_bytes(rng, 70);
  std::string out(80, '\x77');
  qppqqp(w(out), u8(pt), 70, u8(kKey), u8(kIv));
  EXPECT_EQ(out.substr(70), std::string(10, '\x77'));
  std::string in_place = out.substr(0, 70);
  qppqqp(w(in_place), w(in_place), 70, u8(kKey), u8(kIv));
  EXPECT_EQ(in_place, pt);
}

TEST(Engine, NullArgumentsDoNothing) {
  std::string out(32, '\x42');
  const std::string before = out;
  qqppqp(u8(out), nullptr, w(out), 16);
  qqppqq(nullptr, u8(kKey), w(out), 16);
  qqppqp(u8(out), u8(kKey), nullptr, 16);
  qpppqp(nullptr, u8(out), 16, u8(kKey), u8(kIv));
  qpppqp(w(out), nullptr, 16, u8(kKey), u8(kIv));
  qqqpqp(w(out), nullptr, 16, u8(kKey), u8(kIv));
  qppqqp(w(out), u8(out), 16, nullptr, u8(kIv));
  qppqqp(w(out), u8(out), 16, u8(kKey), nullptr);
  qppqqp(nullptr, u8(out), 16, u8(kKey), u8(kIv));
  EXPECT_EQ(out, before);
}
