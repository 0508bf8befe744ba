// AES-256 on NEON for Arm CPUs without the Crypto Extensions (arm64, and
// 32-bit builds for NEON): constant-time rounds (no lookup or branch by
// secret data) on the shared NEON code.
#include "aes256.h"
#include "aes_common/cpu_features.h"

#if defined(__ARM_NEON)

#include "aes_common/neon_rounds.h"

namespace pelm::aes256 {

namespace {

#define PELM_MODES_TARGET  // NEON is the baseline: no attribute
#include "aes_common/block_modes.inc"

using namespace pelm::aes::neon;
using Cipher = BlockCipher<kRounds>;

void expand_key(const uint8_t* key, Schedule& schedule) {
  aes::neon::expand_key(key, kKeySize / 4, kRounds, schedule.bytes);
}

inline Cipher cipher(const Schedule& schedule) { return {schedule.bytes}; }

void encrypt_block(const Schedule& schedule, const uint8_t* in, uint8_t* out) {
  store(out, cipher(schedule).encrypt(load(in)));
}

void cfb_encrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                 uint8_t* out, size_t blocks) {
  modes::cfb_encrypt(cipher(schedule), feedback, in, out, blocks);
}

void cfb_decrypt(const Schedule& schedule, uint8_t* feedback, const uint8_t* in,
                 uint8_t* out, size_t blocks) {
  modes::cfb_decrypt(cipher(schedule), feedback, in, out, blocks);
}

const Kernels kNeonKernels = {"NEON (constant-time)", expand_key, encrypt_block, cfb_encrypt,
                               cfb_decrypt};

}  // namespace

const Kernels* neon_kernels() { return &kNeonKernels; }

}  // namespace pelm::aes256

#else

namespace pelm::aes256 {
const Kernels* neon_kernels() { return nullptr; }
}  // namespace pelm::aes256

#endif
