// AES-256 on x86-64's AES instructions. CFB encryption is serial by
// definition; decryption knows every cipher input up front (the IV and the
// ciphertext blocks), so eight blocks go through the rounds together.
#include "aes256.h"
#include "aes_common/cpu_features.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(PELM_NO_AES_INSTRUCTIONS)

#include "aes_common/aesni_rounds.h"

namespace pelm::aes256 {

namespace {

using namespace pelm::aes::aesni;
using Keys = RoundKeys<kRounds>;

constexpr size_t kInFlight = 8;

PELM_AESNI void expand_key(const uint8_t* key, Schedule& schedule) {
  expand_key_256(key, schedule.bytes);
}

PELM_AESNI void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  const Keys keys = load_round_keys<kRounds>(schedule.bytes);
  store(out, encrypt(load(in), keys));
}

PELM_AESNI void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  const Keys keys = load_round_keys<kRounds>(schedule.bytes);
  __m128i f = load(feedback);
  for (size_t k = 0; k < blocks; ++k) {
    f = _mm_xor_si128(encrypt(f, keys), load(in + kBlockSize * k));
    store(out + kBlockSize * k, f);
  }
  store(feedback, f);
}

PELM_AESNI void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  const Keys keys = load_round_keys<kRounds>(schedule.bytes);
  __m128i f = load(feedback);
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    // Every ciphertext block is read before any output is written, so the
    // buffers may be one.
    __m128i c[kInFlight], s[kInFlight];
    s[0] = f;
    for (size_t j = 0; j < kInFlight; ++j) c[j] = load(in + kBlockSize * (k + j));
    for (size_t j = 1; j < kInFlight; ++j) s[j] = c[j - 1];
    encrypt_many<kRounds, kInFlight>(s, keys);
    for (size_t j = 0; j < kInFlight; ++j) store(out + kBlockSize * (k + j), _mm_xor_si128(s[j], c[j]));
    f = c[kInFlight - 1];
  }
  for (; k < blocks; ++k) {
    const __m128i c = load(in + kBlockSize * k);
    store(out + kBlockSize * k, _mm_xor_si128(encrypt(f, keys), c));
    f = c;
  }
  store(feedback, f);
}

const Kernels kAesniKernels = {"AES-NI", expand_key, encrypt_block, cfb_encrypt, cfb_decrypt};

}  // namespace

const Kernels* aesni_kernels() { return aes::cpu_has_aesni() ? &kAesniKernels : nullptr; }

}  // namespace pelm::aes256

#else

namespace pelm::aes256 {
const Kernels* aesni_kernels() { return nullptr; }
}  // namespace pelm::aes256

#endif
