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

#define PELM_MODES_TARGET PELM_ARMV8_AES
#include "aes_common/block_modes.inc"

using namespace pelm::aes::armv8;
using Cipher = BlockCipher<kRounds>;

PELM_ARMV8_AES void expand_key(const uint8_t* key, Schedule& schedule) {
  aes::armv8::expand_key(key, kKeySize / 4, kRounds, schedule.bytes);
}

PELM_ARMV8_AES inline Cipher cipher(const Schedule& schedule) {
  return {load_round_keys<kRounds>(schedule.bytes)};
}

PELM_ARMV8_AES void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  store(out, cipher(schedule).encrypt(load(in)));
}

PELM_ARMV8_AES void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                                uint8_t* out, size_t blocks) {
  modes::cfb_encrypt(cipher(schedule), feedback, in, out, blocks);
}

PELM_ARMV8_AES void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                                uint8_t* out, size_t blocks) {
  modes::cfb_decrypt(cipher(schedule), feedback, in, out, blocks);
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
