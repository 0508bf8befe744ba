// Seals and opens through the C++ API, and runs the C API's text cipher,
// ECB and hex codec, using only the installed headers and library.
#include <pelm/aes128.h>
#include <pelm/envelope.h>
#include <pelm/hex.h>
#include <pelm/text_cipher.h>
#include <pelm/version.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main() {
  const std::string key(64, 'a'), iv(32, 'b'), text = "from an installed libpelmLib";
  std::string envelope, opened;
  if (!myEncrypt(key, iv, text, envelope) || !myDecrypt(key, iv, envelope, opened) ||
      opened != text) {
    std::puts("envelope round trip failed");
    return 1;
  }
  const uint8_t raw_key[16] = {1, 2, 3}, raw_iv[16] = {4, 5, 6};
  char* hex = pelm_text_encrypt(raw_key, raw_iv, text.c_str());
  char* back = hex ? pelm_text_decrypt(raw_key, raw_iv, hex) : nullptr;
  if (back == nullptr || text != back) {
    std::puts("text cipher round trip failed");
    return 1;
  }
  uint8_t block[16] = {0};
  pelm_aes128_ecb_encrypt(block, raw_key, block, 16);
  pelm_aes128_ecb_decrypt(block, raw_key, block, 16);
  char* block_hex = pelm_hex_encode(block, 16);
  const bool zero = block_hex && std::strcmp(block_hex, "00000000000000000000000000000000") == 0;
  std::printf("libpelmLib %s: envelope %zu characters, text cipher %zu hex digits, ECB %s\n",
              PELM_VERSION, envelope.size(), std::strlen(hex), zero ? "ok" : "FAILED");
  std::free(hex);
  std::free(back);
  std::free(block_hex);
  return zero ? 0 : 1;
}
