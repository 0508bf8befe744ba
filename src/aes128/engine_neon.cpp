// The engine on NEON for Arm CPUs without the Crypto Extensions:
// constant-time rounds (no lookup or branch by secret data) on the shared
// NEON code. NEON is part of every arm64 CPU; a 32-bit build has this path
// when it is built for NEON (armeabi-v7a is).
#include "engine.h"

#include "aes_common/cpu_features.h"

#if defined(__ARM_NEON)

#include "aes_common/neon_rounds.h"

namespace pelm::aes128 {

namespace {

#define PELM_MODES_TARGET  // NEON is the baseline: no attribute
#include "aes_common/block_modes.inc"

using namespace pelm::aes::neon;
using Cipher = BlockCipher<kRounds>;

void expand_key(EngineState& state) {
  aes::neon::expand_key(state.key, kKeySize / 4, kRounds, state.round_keys);
  state.decryption_keys_ready = false;
}

void encrypt_block(EngineState& state, uint8_t* block) {
  store(block, Cipher{state.round_keys}.encrypt(load(block)));
}

void decrypt_block(EngineState& state, uint8_t* block) {
  store(block, Cipher{state.round_keys}.decrypt(load(block)));
}

void cbc_encrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_encrypt(Cipher{state.round_keys}, state.chain, out, in, blocks);
}

void cbc_decrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_decrypt(Cipher{state.round_keys}, state.chain, out, in, blocks);
}

void ctr(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  modes::ctr(Cipher{state.round_keys}, counter, out, in, blocks);
}

const EngineKernels kNeonKernels = {
    "NEON (constant-time)", expand_key, encrypt_block, decrypt_block, cbc_encrypt, cbc_decrypt, ctr,
};

}  // namespace

const EngineKernels* neon_kernels() { return &kNeonKernels; }

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* neon_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
