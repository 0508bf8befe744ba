// The engine against OpenSSL EVP on random keys, IVs and lengths.
#include <gtest/gtest.h>

#include "openssl_reference.h"
#include "pelm/aes128.h"
#include "pelm/text_cipher.h"
#include "test_support.h"

using namespace pelm::test;

namespace {
uint8_t* w(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }
}  // namespace

TEST(Differential, EcbBlocks) {
  std::mt19937_64 rng(1);
  for (int i = 0; i < 2000; ++i) {
    const std::string key = random_bytes(rng, 16), block = random_bytes(rng, 16);
    std::string ct(16, '\0'), pt(16, '\0');
    qqppqp(u8(block), u8(key), w(ct), 16);
    qqppqq(u8(ct), u8(key), w(pt), 16);
    ASSERT_EQ(ct, evp(EVP_aes_128_ecb(), key, "", block, true));
    ASSERT_EQ(pt, block);
  }
}

TEST(Differential, CbcBuffersWithTails) {
  std::mt19937_64 rng(2);
  for (int i = 0; i < 500; ++i) {
    const std::string key = random_bytes(rng, 16), iv = random_bytes(rng, 16);
    const uint32_t n = static_cast<uint32_t>(rng() % 300);
    const std::string pt = random_bytes(rng, n);
    const size_t padded = (n + 15) / 16 * 16;
    std::string ct(padded, '\0');
    qpppqp(w(ct), u8(pt), n, u8(key), u8(iv));
    // A tail is zero-filled to a whole block.
    ASSERT_EQ(ct, evp(EVP_aes_128_cbc(), key, iv, pt + std::string(padded - n, '\0'), true)) << n;
    std::string back(padded, '\0');
    qqqpqp(w(back), u8(ct), static_cast<uint32_t>(padded), u8(key), u8(iv));
    ASSERT_EQ(back, pt + std::string(padded - n, '\0')) << n;
  }
}

TEST(Differential, CtrBuffers) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 500; ++i) {
    const std::string key = random_bytes(rng, 16);
    std::string iv = random_bytes(rng, 16);
    if (i % 5 == 0) iv.replace(8, 8, std::string(8 - i % 8, '\xff') + std::string(i % 8, '\x7f'));
    const uint32_t n = static_cast<uint32_t>(rng() % 300);
    const std::string pt = random_bytes(rng, n);
    std::string ct(n, '\0');
    qppqqp(w(ct), u8(pt), n, u8(key), u8(iv));
    ASSERT_EQ(ct, evp(EVP_aes_128_ctr(), key, iv, pt, true)) << n;
  }
}

TEST(Differential, TextCipherIsCbcWithPkcs7) {
  std::mt19937_64 rng(4);
  for (int i = 0; i < 500; ++i) {
    const std::string key = random_bytes(rng, 16), iv = random_bytes(rng, 16);
    std::string text = random_bytes(rng, rng() % 100);
    for (auto& c : text) c = static_cast<char>(1 + static_cast<unsigned char>(c) % 255);  // no NUL
    char* hex = ll11l1l1ll(u8(key), u8(iv), text.c_str());
    ASSERT_NE(hex, nullptr);
    EXPECT_EQ(hex, to_hex(evp(EVP_aes_128_cbc(), key, iv, text, true, true)));
    char* back = ll11lll11l(u8(key), u8(iv), hex);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back), text);
    free(hex);
    free(back);
  }
}
