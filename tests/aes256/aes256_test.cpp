// AES-256 and its CFB128 on every path this CPU and build offer: the
// FIPS-197 and SP 800-38A examples from their vector files, and random
// buffers against libcrypto's AES_cfb128_encrypt.
#include <gtest/gtest.h>
#include <openssl/aes.h>

#include <cstring>
#include <vector>

#include "aes256/aes256.h"
#include "test_support.h"

using namespace pelm::aes256;
using namespace pelm::test;

namespace {

std::vector<const Kernels*> every_path() {
  std::vector<const Kernels*> paths = {&kCompactKernels};
  if (const Kernels* k = aesni_kernels()) paths.push_back(k);
  if (const Kernels* k = armv8_kernels()) paths.push_back(k);
  if (const Kernels* k = ssse3_kernels()) paths.push_back(k);
  if (const Kernels* k = neon_kernels()) paths.push_back(k);
  return paths;
}

std::string cfb(const Kernels& path, const std::string& key, const std::string& iv,
                const std::string& in, bool encrypt, bool in_place) {
  std::string out = in_place ? in : std::string(in.size(), '\x5a');
  const uint8_t* source = in_place ? u8(out) : u8(in);
  cfb128(u8(key), u8(iv), source, reinterpret_cast<uint8_t*>(&out[0]), in.size(), encrypt, path);
  return out;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::string reference_cfb(const std::string& key, const std::string& iv, const std::string& in,
                          bool encrypt) {
  AES_KEY schedule;
  AES_set_encrypt_key(u8(key), 256, &schedule);
  std::string ivec = iv, out(in.size(), '\0');
  int position = 0;
  AES_cfb128_encrypt(u8(in), reinterpret_cast<uint8_t*>(&out[0]), in.size(), &schedule,
                     reinterpret_cast<uint8_t*>(&ivec[0]), &position,
                     encrypt ? AES_ENCRYPT : AES_DECRYPT);
  return out;
}
#pragma GCC diagnostic pop

}  // namespace

TEST(Aes256, Fips197KeyExpansionAndCipherOnEveryPath) {
  const auto blocks = read_vector_file(data_path("fips197_aes256.txt"));
  ASSERT_EQ(blocks.size(), 2u);
  for (const Kernels* path : every_path()) {
    const auto& a3 = blocks[0];
    Schedule schedule;
    path->expand_key(u8(from_hex(a3.at("Key"))), schedule);
    for (int r = 0; r <= kRounds; ++r) {
      const std::string round_key(reinterpret_cast<const char*>(schedule.bytes) + 16 * r, 16);
      EXPECT_EQ(to_hex(round_key), to_hex(from_hex(a3.at("RoundKey" + std::to_string(r)))))
          << path->name << ", round key " << r;
    }
    const auto& c3 = blocks[1];
    path->expand_key(u8(from_hex(c3.at("Key"))), schedule);
    std::string block = from_hex(c3.at("Plaintext"));
    path->encrypt_block(schedule, u8(block), reinterpret_cast<uint8_t*>(&block[0]));
    EXPECT_EQ(to_hex(block), to_hex(from_hex(c3.at("Ciphertext")))) << path->name;
  }
}

TEST(Aes256, Sp800_38aCfb128BothWaysOnEveryPath) {
  size_t vectors = 0;
  for (const auto& v : read_vector_file(data_path("sp800_38a_aes_modes.txt"))) {
    if (v.count("Cipher") == 0 || v.at("Cipher") != "AES-256-CFB128") continue;
    ++vectors;
    const std::string key = from_hex(v.at("Key")), iv = from_hex(v.at("IV"));
    const std::string plain = from_hex(v.at("Plaintext")), cipher = from_hex(v.at("Ciphertext"));
    for (const Kernels* path : every_path()) {
      for (const bool in_place : {false, true}) {
        EXPECT_EQ(to_hex(cfb(*path, key, iv, plain, true, in_place)), to_hex(cipher)) << path->name;
        EXPECT_EQ(to_hex(cfb(*path, key, iv, cipher, false, in_place)), to_hex(plain)) << path->name;
      }
    }
  }
  EXPECT_EQ(vectors, 2u);
}

TEST(Aes256, CfbMatchesLibcryptoOnRandomBuffersOnEveryPath) {
  std::mt19937_64 rng(256);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (int i = 0; i < 150; ++i) lengths.push_back(rng() % 4097);
  for (size_t n : {65536, 65536 + 5, 1000003}) lengths.push_back(n);
  for (size_t length : lengths) {
    const std::string key = random_bytes(rng, 32), iv = random_bytes(rng, 16);
    const std::string data = random_bytes(rng, length);
    const bool encrypt = rng() % 2, in_place = rng() % 2;
    const std::string expected = reference_cfb(key, iv, data, encrypt);
    for (const Kernels* path : every_path()) {
      ASSERT_EQ(cfb(*path, key, iv, data, encrypt, in_place), expected)
          << path->name << ", length " << length << (encrypt ? ", encrypt" : ", decrypt")
          << (in_place ? ", in place" : "");
    }
  }
}
