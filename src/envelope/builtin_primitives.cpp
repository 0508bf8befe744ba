// The builtin provider's AES-256-CFB128: the library's own AES-256, so the
// library needs no libcrypto.
#include "aes256/aes256.h"
#include "envelope_internal.h"

namespace pelm::envelope {

bool cfb256_crypt(const KeyMaterial& material, const uint8_t* in, uint8_t* out,
                  size_t length, bool encrypt) {
  aes256::cfb128(material.key, material.iv, in, out, length, encrypt);
  return true;
}

}  // namespace pelm::envelope
