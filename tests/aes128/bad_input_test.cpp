// Bad input tried on purpose against the strict hex codec, the text cipher
// and the engine: every byte value at every position, huge lengths, nulls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "pelm/aes128.h"
#include "pelm/hex.h"
#include "pelm/text_cipher.h"
#include "test_support.h"

using namespace pelm::test;

namespace {
const std::string kKey = "0123456789abcdef";
const std::string kIv = "fedcba9876543210";
bool is_hex_digit(int b) { return std::isxdigit(b) != 0; }
}  // namespace

TEST(Aes128BadInput, EveryByteValueAtEveryPositionOfAHexText) {
  const std::string valid = "00112233445566778899aabbccddeeff";
  for (size_t pos = 0; pos < valid.size(); pos += 5) {
    for (int b = 1; b < 256; ++b) {
      std::string text = valid;
      text[pos] = static_cast<char>(b);
      uint8_t* bytes = bdddbddbb(text.c_str());
      char* plain = ll11lll11l(u8(kKey), u8(kIv), text.c_str());
      EXPECT_EQ(bytes != nullptr, is_hex_digit(b)) << pos << " " << b;
      EXPECT_EQ(plain != nullptr, is_hex_digit(b)) << pos << " " << b;
      std::free(bytes);
      std::free(plain);
    }
  }
}

TEST(Aes128BadInput, TextsOfEveryByteValueRoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    const std::string text(1, static_cast<char>(b));
    all += text;
    char* hex = ll11l1l1ll(u8(kKey), u8(kIv), text.c_str());
    ASSERT_NE(hex, nullptr);
    char* back = ll11lll11l(u8(kKey), u8(kIv), hex);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back), text) << b;
    std::free(hex);
    std::free(back);
  }
  char* hex = ll11l1l1ll(u8(kKey), u8(kIv), all.c_str());
  char* back = ll11lll11l(u8(kKey), u8(kIv), hex);
  EXPECT_EQ(std::string(back), all);
  std::free(hex);
  std::free(back);
}

TEST(Aes128BadInput, HugeLengthsWithNullBuffersDoNothing) {
  qpppqp(nullptr, nullptr, UINT32_MAX, u8(kKey), u8(kIv));
  qqqpqp(nullptr, nullptr, UINT32_MAX, u8(kKey), u8(kIv));
  qppqqp(nullptr, nullptr, UINT32_MAX, u8(kKey), u8(kIv));
  qqppqp(nullptr, u8(kKey), nullptr, UINT32_MAX);
  qqppqq(nullptr, u8(kKey), nullptr, UINT32_MAX);
  EXPECT_EQ(bbddbbdbb(nullptr, UINT64_MAX), nullptr);
  EXPECT_EQ(bbddbbdbb(u8(kKey), UINT64_MAX / 2 + 1), nullptr);
  // A chain started after those calls is still a plain, correct chain.
  std::string a(16, '\0'), b(16, '\0');
  const std::string pt(16, 'z');
  qpppqp(reinterpret_cast<uint8_t*>(&a[0]), u8(pt), 16, u8(kKey), u8(kIv));
  qqqpqp(reinterpret_cast<uint8_t*>(&b[0]), u8(a), 16, u8(kKey), u8(kIv));
  EXPECT_EQ(b, pt);
}
