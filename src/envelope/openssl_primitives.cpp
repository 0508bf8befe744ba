// The one file that calls OpenSSL. The envelope format is defined by the
// low-level AES_cfb128_encrypt, which OpenSSL 3 marks deprecated; the
// deprecation is silenced here on purpose and nowhere else.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/aes.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>

#include "envelope_internal.h"

namespace pelm::envelope {

void cfb256_crypt(const KeyMaterial& material, const uint8_t* in, uint8_t* out,
                  size_t length, bool encrypt) {
  AES_KEY schedule;
  // CFB runs the forward cipher in both directions.
  AES_set_encrypt_key(material.key, 256, &schedule);
  uint8_t iv[kIvLength];
  std::memcpy(iv, material.iv, sizeof iv);
  int position = 0;
  AES_cfb128_encrypt(in, out, length, &schedule, iv, &position,
                     encrypt ? AES_ENCRYPT : AES_DECRYPT);
  OPENSSL_cleanse(&schedule, sizeof schedule);
}

std::string base64_encode(const uint8_t* data, size_t length) {
  std::string text(4 * ((length + 2) / 3), '\0');
  // EVP_EncodeBlock counts its output in an int, so long payloads go through
  // in pieces of whole 3-byte groups; the concatenation is the same text.
  constexpr size_t kPiece = size_t{3} << 24;
  size_t written = 0;
  for (size_t done = 0; done < length; done += kPiece) {
    const size_t piece = length - done < kPiece ? length - done : kPiece;
    // Each piece's NUL lands on the next piece's first character, or on the
    // string's own terminator after the last piece.
    written += static_cast<size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(&text[written]), data + done,
        static_cast<int>(piece)));
  }
  text.resize(written);
  return text;
}

long base64_decode(const char* text, size_t length, uint8_t* out) {
  if (length > static_cast<size_t>(INT_MAX)) return -1;
  return EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(text),
                         static_cast<int>(length));
}

}  // namespace pelm::envelope
