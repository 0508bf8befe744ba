#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "pelm/hex.h"
#include "test_support.h"

using namespace pelm::test;

namespace {
// Decodes through bdddbddbb; "null" when it refuses.
std::string decode(const char* text) {
  uint8_t* bytes = bdddbddbb(text);
  if (bytes == nullptr) return "null";
  const std::string out(reinterpret_cast<char*>(bytes), std::strlen(text) / 2);
  EXPECT_EQ(bytes[std::strlen(text) / 2], 0) << "not NUL-terminated";
  std::free(bytes);
  return to_hex(out);
}
}  // namespace

TEST(HexCodec, DigitValueOfEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const char* digits = "0123456789abcdef";
    const char* upper = "0123456789ABCDEF";
    int expected = -1;
    for (int v = 0; v < 16; ++v)
      if (b == digits[v] || b == upper[v]) expected = v;
    uint8_t out = 0xEE;
    EXPECT_EQ(bbbddbdbb(static_cast<char>(b), &out), expected >= 0 ? 1 : 0) << b;
    EXPECT_EQ(out, expected >= 0 ? expected : 0xEE) << b;
    EXPECT_EQ(bbbddbdbb(static_cast<char>(b), nullptr), 0) << b;
  }
}

TEST(HexCodec, DecodeTable) {
  const struct {
    const char* text;
    const char* result;  // hex of the decoded bytes, or "null"
  } cases[] = {
      {"00", "00"},      {"AbCd", "abcd"},  {"abcd", "abcd"}, {"ABCD", "abcd"},
      {"00ff10", "00ff10"},
      {"", "null"},      {"a", "null"},     {"abc", "null"},  {"ab c", "null"},
      {"0g", "null"},    {"G0", "null"},    {"+1", "null"},   {"0x00", "null"},
      {"00\n", "null"},  {"ab\x80\x81", "null"}, {"abcdeg", "null"},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.text), c.result) << c.text;
  EXPECT_EQ(bdddbddbb(nullptr), nullptr);
}

TEST(HexCodec, EncodeIsLowercaseAndRoundTrips) {
  const uint8_t bytes[] = {0x00, 0xff, 0x10};
  char* text = bbddbbdbb(bytes, 3);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "00ff10");
  std::free(text);
  EXPECT_EQ(bbddbbdbb(bytes, 0), nullptr);
  EXPECT_EQ(bbddbbdbb(nullptr, 3), nullptr);
  EXPECT_EQ(bbddbbdbb(bytes, UINT64_MAX), nullptr);  // 2n + 1 would overflow

  std::mt19937_64 rng(10);
  for (size_t n = 1; n < 300; n += 7) {
    const std::string in = random_bytes(rng, n);
    char* hex = bbddbbdbb(u8(in), n);
    ASSERT_NE(hex, nullptr);
    EXPECT_EQ(std::string(hex), to_hex(in));
    EXPECT_EQ(decode(hex), to_hex(in));
    std::free(hex);
  }
}
