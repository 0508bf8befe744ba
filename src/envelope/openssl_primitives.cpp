// The one file that calls OpenSSL (or BoringSSL): AES-256-CFB128 through
// EVP, which gives the bytes of the low-level AES_cfb128_encrypt on the
// CPU's AES instructions, and one-call Base64.
#include <openssl/evp.h>

#include <climits>
#include <cstring>
#include <memory>

#include "envelope_internal.h"

namespace pelm::envelope {

namespace {

// AES-256-CFB128 as EVP offers it, which runs on the CPU's AES instructions
// where it has them. OpenSSL 3 looks the cipher up once; other libcrypto
// builds hand out a static table.
const EVP_CIPHER* aes256_cfb128() {
#if OPENSSL_VERSION_NUMBER >= 0x30000000L && !defined(OPENSSL_IS_BORINGSSL)
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-256-CFB", nullptr);
  return cipher;
#else
  return EVP_aes_256_cfb128();
#endif
}

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

}  // namespace

bool cfb256_crypt(const KeyMaterial& material, const uint8_t* in, uint8_t* out,
                  size_t length, bool encrypt) {
  const EVP_CIPHER* cipher = aes256_cfb128();
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> ctx(EVP_CIPHER_CTX_new());
  if (cipher == nullptr || !ctx ||
      EVP_CipherInit_ex(ctx.get(), cipher, nullptr, material.key, material.iv, encrypt) != 1) {
    return false;
  }
  // EVP counts in int; CFB goes on across pieces from where it stopped.
  constexpr size_t kPiece = size_t{1} << 30;
  for (size_t done = 0; done < length; done += kPiece) {
    const int piece = static_cast<int>(length - done < kPiece ? length - done : kPiece);
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), out + done, &written, in + done, piece) != 1) return false;
  }
  return true;
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
