// AES-256 on SSSE3 for x86 CPUs without AES-NI: constant-time rounds (no
// lookup or branch by secret data) on the shared SSSE3 code.
#include "aes256.h"
#include "aes_common/cpu_features.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include "aes_common/ssse3_rounds.h"

namespace pelm::aes256 {

namespace {

#define PELM_MODES_TARGET PELM_SSSE3
#include "aes_common/block_modes.inc"

using namespace pelm::aes::ssse3;
using Cipher = BlockCipher<kRounds>;

PELM_SSSE3 void expand_key(const uint8_t* key, Schedule& schedule) {
  aes::ssse3::expand_key(key, kKeySize / 4, kRounds, schedule.bytes);
}

PELM_SSSE3 inline Cipher cipher(const Schedule& schedule) { return {schedule.bytes}; }

PELM_SSSE3 void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  store(out, cipher(schedule).encrypt(load(in)));
}

PELM_SSSE3 void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  modes::cfb_encrypt(cipher(schedule), feedback, in, out, blocks);
}

PELM_SSSE3 void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                            uint8_t* out, size_t blocks) {
  modes::cfb_decrypt(cipher(schedule), feedback, in, out, blocks);
}

const Kernels kSsse3Kernels = {"SSSE3 (constant-time)", expand_key, encrypt_block, cfb_encrypt,
                               cfb_decrypt};

}  // namespace

const Kernels* ssse3_kernels() { return aes::cpu_has_ssse3() ? &kSsse3Kernels : nullptr; }

}  // namespace pelm::aes256

#else

namespace pelm::aes256 {
const Kernels* ssse3_kernels() { return nullptr; }
}  // namespace pelm::aes256

#endif
