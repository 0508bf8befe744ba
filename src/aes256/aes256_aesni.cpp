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

#define PELM_MODES_TARGET PELM_AESNI
#include "aes_common/block_modes.inc"

using namespace pelm::aes::aesni;
using Cipher = BlockCipher<kRounds>;

PELM_AESNI void expand_key(const uint8_t* key, Schedule& schedule) {
  expand_key_256(key, schedule.bytes);
}

PELM_AESNI inline Cipher cipher(const Schedule& schedule) {
  return {load_round_keys<kRounds>(schedule.bytes)};
}

PELM_AESNI void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  store(out, cipher(schedule).encrypt(load(in)));
}

PELM_AESNI void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  modes::cfb_encrypt(cipher(schedule), feedback, in, out, blocks);
}

PELM_AESNI void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  modes::cfb_decrypt(cipher(schedule), feedback, in, out, blocks);
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
