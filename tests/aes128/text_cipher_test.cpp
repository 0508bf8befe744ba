#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "openssl_reference.h"
#include "pelm/text_cipher.h"
#include "test_support.h"

using namespace pelm::test;

namespace {

const std::string kKey = "0123456789abcdef";
const std::string kIv = "fedcba9876543210";

// The heap text as a string, freed; "null" for a null result.
std::string take(char* text) {
  if (text == nullptr) return "null";
  std::string s(text);
  std::free(text);
  return s;
}
std::string encrypt(const std::string& text, const std::string& key = kKey,
                    const std::string& iv = kIv) {
  return take(ll11l1l1ll(u8(key), u8(iv), text.c_str()));
}
std::string decrypt(const std::string& hex, const std::string& key = kKey,
                    const std::string& iv = kIv) {
  return take(ll11lll11l(u8(key), u8(iv), hex.c_str()));
}

struct WycheproofCase {
  int key_size = 0;
  std::string id, key, iv, msg, ct, result;
};

// The fields of each test, read line by line from the pretty-printed JSON.
std::vector<WycheproofCase> read_wycheproof(const std::string& path) {
  std::ifstream in(path);
  std::vector<WycheproofCase> cases;
  WycheproofCase current;
  std::string line;
  auto value = [](const std::string& l) {
    const size_t colon = l.find(':');
    std::string v = l.substr(colon + 1);
    v.erase(0, v.find_first_not_of(" \""));
    v.erase(v.find_last_not_of(" \",") + 1);
    return v;
  };
  while (std::getline(in, line)) {
    const size_t q = line.find('"');
    if (q == std::string::npos) continue;
    const std::string name = line.substr(q + 1, line.find('"', q + 1) - q - 1);
    if (name == "keySize") current.key_size = std::stoi(value(line));
    else if (name == "tcId") current.id = value(line);
    else if (name == "key") current.key = value(line);
    else if (name == "iv") current.iv = value(line);
    else if (name == "msg") current.msg = value(line);
    else if (name == "ct") current.ct = value(line);
    else if (name == "result") {
      current.result = value(line);
      cases.push_back(current);
    }
  }
  return cases;
}

}  // namespace

TEST(TextCipher, WycheproofAesCbcPkcs5) {
  size_t valid = 0, invalid = 0;
  for (const auto& c : read_wycheproof(data_path("wycheproof_aes_cbc_pkcs5_test.json"))) {
    if (c.key_size != 128) continue;
    const std::string key = from_hex(c.key), iv = from_hex(c.iv), msg = from_hex(c.msg);
    if (c.result == "valid") {
      if (msg.find('\0') != std::string::npos) continue;  // a native text holds no NUL
      EXPECT_EQ(encrypt(msg, key, iv), c.ct) << "tcId " << c.id;
      EXPECT_EQ(decrypt(c.ct, key, iv), msg) << "tcId " << c.id;
      ++valid;
    } else {
      // No way to reject bad padding: some text comes back, never a crash.
      // Only an empty ciphertext fails to decode.
      EXPECT_EQ(decrypt(c.ct, key, iv) == "null", c.ct.empty()) << "tcId " << c.id;
      ++invalid;
    }
  }
  EXPECT_GT(valid, 15u);
  EXPECT_GT(invalid, 40u);
}

TEST(TextCipher, PaddedLengths) {
  const struct {
    size_t length;
    size_t hex_chars;
    uint8_t pad;
  } cases[] = {{0, 32, 16}, {1, 32, 15}, {15, 32, 1}, {16, 64, 16}, {17, 64, 15}, {47, 96, 1}};
  for (const auto& c : cases) {
    const std::string text(c.length, 'x');
    const std::string hex = encrypt(text);
    ASSERT_EQ(hex.size(), c.hex_chars) << c.length;
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    const std::string padded = evp(EVP_aes_128_cbc(), kKey, kIv, from_hex(hex), false);
    EXPECT_EQ(padded, text + std::string(c.pad, static_cast<char>(c.pad))) << c.length;
  }
}

TEST(TextCipher, ControlCharactersRoundTripWhole) {
  for (const std::string text : {"ab\ncdef", "tab\there", "\r\n", "\x01", "line\x10", "x\x0f\x0f"}) {
    EXPECT_EQ(decrypt(encrypt(text)), text);
  }
}

TEST(TextCipher, OnlySixteenBytesOfKeyAndIvCount) {
  EXPECT_EQ(encrypt("same", kKey + "tail one", kIv + "x"), encrypt("same", kKey + "other", kIv + "y"));
  const std::string a = encrypt(std::string(16, 'A') + "first");
  const std::string b = encrypt(std::string(16, 'A') + "second!");
  EXPECT_EQ(a.substr(0, 32), b.substr(0, 32));
}

TEST(TextCipher, DecryptionRules) {
  const std::string hex = encrypt("some text that spans blocks");
  std::string upper = hex;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string mixed = hex;
  for (size_t i = 0; i < mixed.size(); i += 2) mixed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(mixed[i])));
  EXPECT_EQ(decrypt(upper), "some text that spans blocks");
  EXPECT_EQ(decrypt(mixed), "some text that spans blocks");

  // Fewer than 16 decoded bytes: nothing to decrypt, an empty text.
  EXPECT_EQ(decrypt("00112233445566778899aabbccddee"), "");
  // Only whole blocks: 20 decoded bytes decrypt as their first 16.
  const std::string one_block = encrypt("0123456789");
  EXPECT_EQ(decrypt(one_block + "01020304"), "0123456789");

  for (const char* bad : {"", "0", "abc", "zz", " 00112233445566778899aabbccddeeff",
                          "0x00112233445566778899aabbccddeeff", "00112233445566778899aabbccddeef\n"}) {
    EXPECT_EQ(decrypt(bad), "null") << bad;
  }
}

TEST(TextCipher, ForeignLastBlocksUnpadByTheDocumentedRule) {
  // Valid PKCS #7 padding is stripped exactly; anything else ends at the
  // first byte from 0x01 to 0x10. Blocks made by another encrypter.
  const struct {
    std::string plain;  // whole blocks, CBC-encrypted by hand
    std::string text;   // what decryption gives back
  } cases[] = {
      {"abcdefghijklmn" "A\x02", "abcdefghijklmnA"},               // one 0x02 is no padding
      {"abcdefghijklm" "\x03\x02\x02", "abcdefghijklm\x03"},      // valid: strip 02 02 only
      {"ab\tc" + std::string(12, '\x0c'), "ab\tc"},               // valid: the tab stays
      {"ab\x10" "cdefghijk" "\x05\x05\x05\x04", "ab"},              // bad padding, early 0x10
      {"ab\x10" "cdefghijklmn" "\x11", "ab"},                       // last byte past 0x10
      {std::string(15, 'x') + "\x10", std::string(15, 'x')},      // 0x10 alone is no padding
      {"0123456789abcdef" + std::string(16, '\x10'), "0123456789abcdef"},
      {"a\x01" "b" + std::string(13, 'c') + std::string(16, '\x10'), "a\x01" "b" + std::string(13, 'c')},
      {"ab\x05" + std::string(13, '\x0e'), "ab"},
      {std::string(16, 'x'), std::string(16, 'x')},                  // no byte from 0x01 to 0x10
      {std::string(31, 'y') + "\x11", std::string(31, 'y') + "\x11"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.plain.size() % 16, 0u) << to_hex(c.plain);
    const std::string hex = to_hex(evp(EVP_aes_128_cbc(), kKey, kIv, c.plain, true));
    EXPECT_EQ(decrypt(hex), c.text) << to_hex(c.plain);
  }
  // Wrong key or IV: some text, never null.
  EXPECT_NE(decrypt(encrypt("secret"), "another key 1234"), "null");
  EXPECT_NE(decrypt(encrypt("secret"), kKey, "another iv 12345"), "null");
}

TEST(TextCipher, NullArgumentsGiveNull) {
  EXPECT_EQ(ll11l1l1ll(nullptr, u8(kIv), "t"), nullptr);
  EXPECT_EQ(ll11l1l1ll(u8(kKey), nullptr, "t"), nullptr);
  EXPECT_EQ(ll11l1l1ll(u8(kKey), u8(kIv), nullptr), nullptr);
  EXPECT_EQ(ll11lll11l(nullptr, u8(kIv), "00"), nullptr);
  EXPECT_EQ(ll11lll11l(u8(kKey), nullptr, "00"), nullptr);
  EXPECT_EQ(ll11lll11l(u8(kKey), u8(kIv), nullptr), nullptr);
}

TEST(TextCipher, TextWhosePaddedLengthPassesInt32MaxGivesNull) {
  // 2^31 - 16 bytes pad to 2^31: one block more than an int32_t can count.
  std::string huge;
  try {
    huge.assign((size_t{1} << 31) - 16, 'a');
  } catch (const std::exception& e) {  // bad_alloc, or length_error in a 32-bit process
    GTEST_SKIP() << "cannot allocate 2 GiB in this process: " << e.what();
  }
  EXPECT_EQ(ll11l1l1ll(u8(kKey), u8(kIv), huge.c_str()), nullptr);
}

TEST(TextCipher, FailedAllocationsGiveNull) {
  if (!memory_cap_works()) GTEST_SKIP() << "no address-space cap under sanitizers or emulation";
  // 48 MiB of text or of hex needs a 48 MiB (or 24 MiB and 24 MiB) buffer
  // more than the 16 MiB of headroom allows.
  const std::string text(48 << 20, 't');
  const std::string hex(96 << 20, 'a');
  const int code = run_with_memory_cap(16 << 20, [&] {
    if (ll11l1l1ll(u8(kKey), u8(kIv), text.c_str()) != nullptr) return 1;
    if (ll11lll11l(u8(kKey), u8(kIv), hex.c_str()) != nullptr) return 2;
    return 0;
  });
  EXPECT_EQ(code, 0);
}
