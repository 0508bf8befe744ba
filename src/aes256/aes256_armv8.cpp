// AES-256 on the ARMv8 Cryptography Extensions. CFB encryption is serial by
// definition; decryption knows every cipher input up front (the IV and the
// ciphertext blocks), so four blocks go through the rounds together.
#include "aes256.h"
#include "aes_common/cpu_features.h"

#if (defined(__aarch64__) || defined(__arm__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(PELM_NO_AES_INSTRUCTIONS)

#include "aes_common/armv8_rounds.h"

namespace pelm::aes256 {

namespace {

using namespace pelm::aes::armv8;
using Keys = RoundKeys<kRounds>;

constexpr size_t kInFlight = 4;

PELM_ARMV8_AES void expand_key(const uint8_t* key, Schedule& schedule) {
  aes::armv8::expand_key(key, kKeySize / 4, kRounds, schedule.bytes);
}

PELM_ARMV8_AES void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  const Keys keys = load_round_keys<kRounds>(schedule.bytes);
  store(out, encrypt(load(in), keys));
}

PELM_ARMV8_AES void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  const Keys keys = load_round_keys<kRounds>(schedule.bytes);
  uint8x16_t f = load(feedback);
  for (size_t k = 0; k < blocks; ++k) {
    f = veorq_u8(encrypt(f, keys), load(in + kBlockSize * k));
    store(out + kBlockSize * k, f);
  }
  store(feedback, f);
}

PELM_ARMV8_AES void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  const Keys keys = load_round_keys<kRounds>(schedule.bytes);
  uint8x16_t f = load(feedback);
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    // Every ciphertext block is read before any output is written, so the
    // buffers may be one.
    uint8x16_t c[kInFlight], s[kInFlight];
    s[0] = f;
    for (size_t j = 0; j < kInFlight; ++j) c[j] = load(in + kBlockSize * (k + j));
    for (size_t j = 1; j < kInFlight; ++j) s[j] = c[j - 1];
    encrypt_many<kRounds, kInFlight>(s, keys);
    for (size_t j = 0; j < kInFlight; ++j) store(out + kBlockSize * (k + j), veorq_u8(s[j], c[j]));
    f = c[kInFlight - 1];
  }
  for (; k < blocks; ++k) {
    const uint8x16_t c = load(in + kBlockSize * k);
    store(out + kBlockSize * k, veorq_u8(encrypt(f, keys), c));
    f = c;
  }
  store(feedback, f);
}

const Kernels kArmv8Kernels = {"ARMv8 Crypto Extensions", expand_key, encrypt_block, cfb_encrypt, cfb_decrypt};

}  // namespace

const Kernels* armv8_kernels() { return aes::cpu_has_armv8_aes() ? &kArmv8Kernels : nullptr; }

}  // namespace pelm::aes256

#else

namespace pelm::aes256 {
const Kernels* armv8_kernels() { return nullptr; }
}  // namespace pelm::aes256

#endif
