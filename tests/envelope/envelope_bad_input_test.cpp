// Bad input tried on purpose: truncated, extended and corrupted envelopes,
// and key texts of every byte value. Nothing may crash; a failure leaves the
// output untouched and writes at most one record.
#include <gtest/gtest.h>

#include <cstring>

#include "envelope_reference.h"
#include "pelm/envelope.h"
#include "test_support.h"

using namespace pelm::test;

namespace {

const std::string kKeyText(64, 'a');
const std::string kIvText(32, 'b');

struct Outcome {
  bool ok;
  std::string out;
  size_t records;
};

Outcome open(const std::string& text) {
  LogCapture capture;
  Outcome o{false, "untouched", 0};
  o.ok = myDecrypt(kKeyText, kIvText, text, o.out);
  o.records = capture.records().size();
  return o;
}

bool is_base64_char(unsigned char c) {
  return std::isalnum(c) || c == '+' || c == '/';
}

}  // namespace

TEST(EnvelopeBadInput, EveryProperPrefixFails) {
  std::string valid;
  ASSERT_TRUE(myEncrypt(kKeyText, kIvText, "a text long enough to span a few Base64 groups", valid));
  for (size_t length = 0; length < valid.size(); ++length) {
    const Outcome o = open(valid.substr(0, length));
    EXPECT_FALSE(o.ok) << length;
    EXPECT_EQ(o.out, "untouched") << length;
    EXPECT_LE(o.records, 1u) << length;
  }
}

TEST(EnvelopeBadInput, ExtendedEnvelopesNeverCrash) {
  std::string valid;
  ASSERT_TRUE(myEncrypt(kKeyText, kIvText, "hello", valid));
  for (const std::string& text : {valid + "A", valid + "=", valid + "AAAA", valid + "====",
                                  " " + valid, valid + "\n", valid + valid, "\n" + valid + "\t"}) {
    const Outcome o = open(text);
    if (o.ok) {
      EXPECT_EQ(o.records, 0u) << text;
    } else {
      EXPECT_EQ(o.out, "untouched") << text;
      EXPECT_LE(o.records, 1u) << text;
    }
  }
}

TEST(EnvelopeBadInput, EveryByteValueInsideTheText) {
  std::string valid;
  ASSERT_TRUE(myEncrypt(kKeyText, kIvText, "every byte value", valid));
  for (int b = 0; b < 256; ++b) {
    std::string text = valid;
    text[text.size() / 2] = static_cast<char>(b);
    const Outcome o = open(text);
    if (!is_base64_char(static_cast<unsigned char>(b))) {
      // Outside the alphabet in the middle of the text: a Base64 failure.
      EXPECT_FALSE(o.ok) << b;
      EXPECT_EQ(o.records, 1u) << b;
    }
    if (!o.ok) {
      EXPECT_EQ(o.out, "untouched") << b;
    }
  }
}

TEST(EnvelopeBadInput, KeyAndIvTextsOfEveryByteValueAreAccepted) {
  for (int b = 0; b < 256; ++b) {
    const std::string key(64, static_cast<char>(b)), iv(32, static_cast<char>(b));
    std::string envelope, opened;
    ASSERT_TRUE(myEncrypt(key, iv, "data", envelope)) << b;
    EXPECT_EQ(envelope, reference_envelope(myHexLine(key), myHexLine(iv), "data")) << b;
    ASSERT_TRUE(myDecrypt(key, iv, envelope, opened)) << b;
    EXPECT_EQ(opened, "data") << b;
  }
}
