// The engine on the ARMv8 Cryptography Extensions, which almost every arm64
// phone has, on the rounds and mode loops both key sizes share. Only this
// file's functions are compiled for the instructions; the rest loads on any
// arm64 CPU.
#include "engine.h"

#include "aes_common/cpu_features.h"

#if (defined(__aarch64__) || defined(__arm__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(PELM_NO_AES_INSTRUCTIONS)

#include "aes_common/armv8_rounds.h"

namespace pelm::aes128 {

namespace {

#define PELM_MODES_TARGET PELM_ARMV8_AES
#include "aes_common/block_modes.inc"

using namespace pelm::aes::armv8;
using Cipher = BlockCipher<kRounds>;

PELM_ARMV8_AES void expand_key(EngineState& state) {
  aes::armv8::expand_key(state.key, kKeySize / 4, kRounds, state.round_keys);
  state.decryption_keys_ready = false;
}

PELM_ARMV8_AES inline Cipher encryption(const EngineState& state) { return {load_round_keys<kRounds>(state.round_keys)}; }

// The decryption keys are made once per key, when first needed.
PELM_ARMV8_AES inline Cipher decryption(EngineState& state) {
  if (!state.decryption_keys_ready) {
    write_decryption_keys<kRounds>(state.round_keys, state.decryption_keys);
    state.decryption_keys_ready = true;
  }
  return {load_round_keys<kRounds>(state.decryption_keys)};
}

PELM_ARMV8_AES void encrypt_block(EngineState& state, uint8_t* block) {
  store(block, encryption(state).encrypt(load(block)));
}

PELM_ARMV8_AES void decrypt_block(EngineState& state, uint8_t* block) {
  store(block, decryption(state).decrypt(load(block)));
}

PELM_ARMV8_AES void cbc_encrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_encrypt(encryption(state), state.chain, out, in, blocks);
}

PELM_ARMV8_AES void cbc_decrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_decrypt(decryption(state), state.chain, out, in, blocks);
}

PELM_ARMV8_AES void ctr(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  modes::ctr(encryption(state), counter, out, in, blocks);
}

const EngineKernels kArmv8Kernels = {
    "ARMv8 Crypto Extensions", expand_key, encrypt_block, decrypt_block,
    cbc_encrypt,               cbc_decrypt, ctr,
};

}  // namespace

const EngineKernels* armv8_kernels() {
  return aes::cpu_has_armv8_aes() ? &kArmv8Kernels : nullptr;
}

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* armv8_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
