#include <gtest/gtest.h>

#include "pelm/envelope.h"
#include "test_support.h"

using pelm::test::from_hex;

TEST(MyHexValue, EveryByteValue) {
  for (int b = 0; b < 256; ++b) {
    int expected = -1;
    if (b >= '0' && b <= '9') expected = b - '0';
    if (b >= 'a' && b <= 'f') expected = b - 'a' + 10;
    if (b >= 'A' && b <= 'F') expected = b - 'A' + 10;
    EXPECT_EQ(myHexValue(static_cast<char>(b)), expected) << "byte " << b;
  }
}

TEST(MyHexLine, Table) {
  const struct {
    std::string text;
    std::string bytes;
  } cases[] = {
      {"", ""},
      {"0", ""},                              // odd: nothing decoded
      {"00f", ""},                            // odd, even the leading pair
      {"00ff", std::string("\x00\xff", 2)},   // NUL kept, length 2
      {"AbCd", "\xab\xcd"},
      {"abcd", "\xab\xcd"},
      {"ABCD", "\xab\xcd"},
      {"zz", "\xef"},                         // non-digit, non-digit
      {"0z", "\xff"},                         // 0, non-digit
      {"1g", "\x0f"},                         // 16*1 - 1
      {"fG", "\xef"},                         // 16*15 - 1
      {"z0", "\xf0"},                         // 0xF0 + L
      {"g1", "\xf1"},
      {" F", "\xff"},
      {"\x80\xff", "\xef"},                   // high bytes are never digits
      {"\xff" "9", "\xf9"},
      {std::string(63, 'a'), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(myHexLine(c.text), c.bytes) << "text '" << c.text << "'";
  }
}

TEST(MyHexLine, KeyAndIvLengthsAlwaysDecodeToFullSize) {
  std::string any64, any32;
  for (int i = 0; i < 64; ++i) any64 += static_cast<char>(0x20 + i * 3);
  for (int i = 0; i < 32; ++i) any32 += static_cast<char>(0x80 + i);
  EXPECT_EQ(myHexLine(any64).size(), 32u);
  EXPECT_EQ(myHexLine(any32).size(), 16u);
  EXPECT_EQ(myHexLine("000102030405060708090a0b0c0d0e0f"),
            from_hex("000102030405060708090a0b0c0d0e0f"));
}
