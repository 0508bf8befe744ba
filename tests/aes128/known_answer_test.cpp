// Known-answer files, read at test time: NIST CAVP AES-128 (GFSbox, KeySbox,
// VarKey, VarTxt, all with a zero IV so each is also an ECB vector) and the
// AES-128 ECB, CBC and CTR vectors of SP 800-38A and RFC 3686.
#include <gtest/gtest.h>

#include "pelm/aes128.h"
#include "test_support.h"

using namespace pelm::test;

TEST(KnownAnswer, NistCavpCbcAndEcb) {
  const auto vectors = read_vector_file(data_path("nist_cavp_aes_128_cbc_kat.txt"));
  size_t checked = 0;
  for (const auto& v : vectors) {
    if (!v.count("Cipher")) continue;
    const std::string key = from_hex(v.at("Key")), iv = from_hex(v.at("IV"));
    const std::string pt = from_hex(v.at("Plaintext")), ct = from_hex(v.at("Ciphertext"));
    ASSERT_EQ(pt.size(), 16u);
    const bool encrypt = v.at("Operation") == "ENCRYPT";
    const std::string& in = encrypt ? pt : ct;
    const std::string& expected = encrypt ? ct : pt;
    std::string cbc(16, '\0'), ecb(16, '\0');
    (encrypt ? qpppqp : qqqpqp)(reinterpret_cast<uint8_t*>(&cbc[0]), u8(in), 16, u8(key), u8(iv));
    (encrypt ? qqppqp : qqppqq)(u8(in), u8(key), reinterpret_cast<uint8_t*>(&ecb[0]), 16);
    EXPECT_EQ(to_hex(cbc), to_hex(expected)) << "key " << v.at("Key");
    EXPECT_EQ(to_hex(ecb), to_hex(expected)) << "key " << v.at("Key");
    ++checked;
  }
  EXPECT_EQ(checked, 568u);
}

TEST(KnownAnswer, Sp800_38aAndRfc3686) {
  const auto vectors = read_vector_file(data_path("sp800_38a_aes_modes.txt"));
  size_t checked = 0;
  for (const auto& v : vectors) {
    const std::string cipher = v.count("Cipher") ? v.at("Cipher") : "";
    if (cipher != "AES-128-ECB" && cipher != "AES-128-CBC" && cipher != "AES-128-CTR") continue;
    const std::string key = from_hex(v.at("Key"));
    const std::string iv = v.count("IV") ? from_hex(v.at("IV")) : std::string(16, '\0');
    const std::string pt = from_hex(v.at("Plaintext")), ct = from_hex(v.at("Ciphertext"));
    const uint32_t n = static_cast<uint32_t>(pt.size());
    std::string enc(pt.size() + 16, '\0'), dec(ct.size() + 16, '\0');
    uint8_t* e = reinterpret_cast<uint8_t*>(&enc[0]);
    uint8_t* d = reinterpret_cast<uint8_t*>(&dec[0]);
    if (cipher == "AES-128-ECB") {
      qqppqp(u8(pt), u8(key), e, n);
      qqppqq(u8(ct), u8(key), d, n);
    } else if (cipher == "AES-128-CBC") {
      qpppqp(e, u8(pt), n, u8(key), u8(iv));
      qqqpqp(d, u8(ct), n, u8(key), u8(iv));
    } else {
      qppqqp(e, u8(pt), n, u8(key), u8(iv));
      qppqqp(d, u8(ct), n, u8(key), u8(iv));
    }
    EXPECT_EQ(to_hex(enc.substr(0, n)), to_hex(ct)) << cipher << " " << v.at("Key");
    EXPECT_EQ(to_hex(dec.substr(0, n)), to_hex(pt)) << cipher << " " << v.at("Key");
    ++checked;
  }
  EXPECT_EQ(checked, 14u);
}
