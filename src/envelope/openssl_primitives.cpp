// The one file that calls libcrypto (OpenSSL 3 or BoringSSL): AES-256-CFB128
// and one-call Base64 encoding.
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#if defined(OPENSSL_IS_BORINGSSL)
#include <openssl/aes.h>
#endif

#include <atomic>
#include <climits>
#include <cstring>
#include <memory>

#include "envelope_internal.h"
#include "aes_common/kernel_traces.h"

namespace pelm::envelope {

namespace {

// libcrypto leaves the key's schedule in vector registers and below its
// frames as the library's own kernels do; the same clearing follows every
// call, however it returns. (A later lazy-binding resolver would otherwise
// store those registers on the stack.)
struct KernelTracesWiped {
  ~KernelTracesWiped() { wipe_foreign_cipher_traces(); }
};

}  // namespace

#if defined(OPENSSL_IS_BORINGSSL)

// BoringSSL keeps CFB out of EVP; its AES_ functions run on the CPU's AES
// instructions themselves.
bool cfb256_crypt(const KeyMaterial& material, const uint8_t* in, uint8_t* out,
                  size_t length, bool encrypt) {
  const KernelTracesWiped traces;
  AES_KEY schedule;
  if (AES_set_encrypt_key(material.key, 256, &schedule) != 0) return false;
  uint8_t iv[kIvLength];
  std::memcpy(iv, material.iv, sizeof iv);
  int position = 0;
  AES_cfb128_encrypt(in, out, length, &schedule, iv, &position,
                     encrypt ? AES_ENCRYPT : AES_DECRYPT);
  OPENSSL_cleanse(&schedule, sizeof schedule);
  return true;
}

#else

namespace {

// AES-256-CFB128 as EVP offers it, which runs on the CPU's AES instructions
// where it has them (OpenSSL's AES_cfb128_encrypt does not). OpenSSL 3
// looks the cipher up once (kept without a static's guard variable, which a
// fork() during the lookup would leave taken in the child; of two threads
// looking it up at once, one gives its copy back); older builds hand out a
// static table.
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
std::atomic<EVP_CIPHER*> g_cipher{nullptr};
#endif

const EVP_CIPHER* aes256_cfb128() {
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
  EVP_CIPHER* cipher = g_cipher.load(std::memory_order_acquire);
  if (cipher != nullptr) return cipher;
  EVP_CIPHER* fetched = EVP_CIPHER_fetch(nullptr, "AES-256-CFB", nullptr);
  if (fetched == nullptr) return nullptr;
  if (!g_cipher.compare_exchange_strong(cipher, fetched, std::memory_order_acq_rel)) {
    EVP_CIPHER_free(fetched);  // another thread's copy is kept
    return cipher;
  }
  return fetched;
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
  const KernelTracesWiped traces;
  const EVP_CIPHER* cipher = aes256_cfb128();
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> ctx(EVP_CIPHER_CTX_new());
  bool done = cipher != nullptr && ctx &&
              EVP_CipherInit_ex(ctx.get(), cipher, nullptr, material.key, material.iv, encrypt) == 1;
  // EVP counts in int; CFB goes on across pieces from where it stopped.
  constexpr size_t kPiece = size_t{1} << 30;
  for (size_t at = 0; done && at < length; at += kPiece) {
    const int piece = static_cast<int>(length - at < kPiece ? length - at : kPiece);
    int written = 0;
    done = EVP_CipherUpdate(ctx.get(), out + at, &written, in + at, piece) == 1;
  }
  // A failure's records stay out of the thread's error queue, where the
  // app's own next libcrypto call would find them.
  if (!done) ERR_clear_error();
  return done;
}

#endif

void base64_encode(const uint8_t* data, size_t length, char* out) {
  // EVP_EncodeBlock counts its output in an int, so long payloads go through
  // in pieces of whole 3-byte groups; the concatenation is the same text.
  // Each piece's NUL lands on the next piece's first character, or after
  // the last character.
  constexpr size_t kPiece = size_t{3} << 24;
  out[0] = '\0';
  size_t written = 0;
  for (size_t done = 0; done < length; done += kPiece) {
    const size_t piece = length - done < kPiece ? length - done : kPiece;
    written += static_cast<size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(out + written), data + done, static_cast<int>(piece)));
  }
}

}  // namespace pelm::envelope
