// Run under valgrind's memcheck (the ctgrind technique): keys and data are
// marked as undefined, so any branch or memory address that depends on them
// is reported, and valgrind's exit status fails the test. Covered: the
// envelope's key handling (the key text's hex decoding, and with the
// builtin provider the key expansion and AES-256-CFB128 it feeds), and the
// AES-128 engine's operations and AES-256 on the path the dispatch takes,
// with and without the AES instructions (both key sizes, key expansion and
// every mode). A build without the AES instructions runs only the
// constant-time software path, which is what `make ct-memcheck` checks.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "aes128/engine.h"
#include "aes256/aes256.h"
#include "envelope/envelope_internal.h"
#include "pelm/aes128.h"
#include "pelm/envelope.h"
#include "pelm/version.h"

namespace {

int wrong = 0;

template <typename T>
void secret(T* data, size_t bytes) {
  VALGRIND_MAKE_MEM_UNDEFINED(data, bytes);
}

template <typename T>
void reveal(T* data, size_t bytes) {
  VALGRIND_MAKE_MEM_DEFINED(data, bytes);
}

void key_hex() {
  for (int b = 0; b < 256; ++b) {
    char ch = static_cast<char>(b);
    secret(&ch, 1);
    int value = myHexValue(ch);
    reveal(&value, sizeof value);
    const int expected = b >= '0' && b <= '9'   ? b - '0'
                         : b >= 'a' && b <= 'f' ? b - 'a' + 10
                         : b >= 'A' && b <= 'F' ? b - 'A' + 10
                                                : -1;
    wrong += value != expected;
  }
  std::string key_text = "0123456789abcdefABCDEFgz-+ \x80\xff" "0123456789abcdef0123456789abcdef";
  key_text.resize(64, 'e');
  secret(&key_text[0], key_text.size());
  std::string key = myHexLine(key_text);
  reveal(&key[0], key.size());
  wrong += key.size() != 32 || static_cast<unsigned char>(key[0]) != 0x01;
}

// The key text decoded and, with the builtin provider, put to work as the
// envelope does; the IV and the ciphertext are public.
void envelope_key_handling() {
  std::string key_text = "00112233445566778899aAbBcCdDeEfF0f1e2d3c4b5a69788796a5b4c3d2e1f0";
  const std::string iv_text = "000102030405060708090a0b0c0d0e0f";
  secret(&key_text[0], key_text.size());
  pelm::envelope::KeyMaterial material;
  wrong += !pelm::envelope::decode_key_material({key_text.data(), key_text.size()},
                                                {iv_text.data(), iv_text.size()}, material);
  if (std::strcmp(PELM_CRYPTO_PROVIDER, "builtin") != 0) return;  // libcrypto's AES is its own
  uint8_t data[70];
  for (int i = 0; i < 70; ++i) data[i] = static_cast<uint8_t>(i);
  secret(data, sizeof data);
  wrong += !pelm::envelope::cfb256_crypt(material, data, data, sizeof data, true);
  reveal(data, sizeof data);
  wrong += !pelm::envelope::cfb256_crypt(material, data, data, sizeof data, false);
  reveal(data, sizeof data);
  for (int i = 0; i < 70; ++i) wrong += data[i] != i;
}

// Each engine operation on secret key and data; the IV is public.
void aes128_operations() {
  uint8_t key[16], iv[16], data[80], out[80];
  for (int i = 0; i < 16; ++i) key[i] = static_cast<uint8_t>(7 * i + 1), iv[i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 80; ++i) data[i] = static_cast<uint8_t>(i * 13);
  secret(key, sizeof key);
  secret(data, sizeof data);
  qqppqp(data, key, out, 16);
  qqppqq(out, key, out, 16);
  qpppqp(out, data, sizeof data, key, iv);
  qqqpqp(data, out, sizeof data, key, iv);
  qppqqp(out, data, 70, key, iv);
  reveal(out, sizeof out);
  reveal(data, sizeof data);
}

void aes256_operations() {
  uint8_t key[32], iv[16], data[100];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(3 * i);
  for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 100; ++i) data[i] = static_cast<uint8_t>(i);
  secret(key, sizeof key);
  secret(data, sizeof data);
  pelm::aes256::cfb128(key, iv, data, data, sizeof data, true);
  pelm::aes256::cfb128(key, iv, data, data, sizeof data, false);
  reveal(data, sizeof data);
  for (int i = 0; i < 100; ++i) wrong += data[i] != i;
}

}  // namespace

int main() {
  key_hex();
  for (const bool software : {false, true}) {
    pelm::aes128::force_compact_engine(software);
    envelope_key_handling();
    aes128_operations();
    aes256_operations();
    std::printf("path: %s (AES-256: %s)\n", pelm::aes128::engine_kernels().name,
                pelm::aes256::kernels().name);
  }
  std::printf("%d values wrong; memcheck reports any secret-dependent branch or address\n", wrong);
  return wrong == 0 ? 0 : 1;
}
