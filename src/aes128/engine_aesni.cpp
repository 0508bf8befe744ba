// The engine on x86-64's AES instructions (AES-NI), on the rounds and mode
// loops both key sizes share. Only this file's functions are compiled for
// the instructions; the rest of the library loads on any x86-64 CPU.
#include "engine.h"

#include "aes_common/cpu_features.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(PELM_NO_AES_INSTRUCTIONS)

#include "aes_common/aesni_rounds.h"

namespace pelm::aes128 {

namespace {

#define PELM_MODES_TARGET PELM_AESNI
#include "aes_common/block_modes.inc"

using namespace pelm::aes::aesni;
using Cipher = BlockCipher<kRounds>;

PELM_AESNI void expand_key(EngineState& state) {
  expand_key_128(state.key, state.round_keys);
  state.decryption_keys_ready = false;
}

PELM_AESNI inline Cipher encryption(const EngineState& state) { return {load_round_keys<kRounds>(state.round_keys)}; }

// The decryption keys are made once per key, when first needed.
PELM_AESNI inline Cipher decryption(EngineState& state) {
  if (!state.decryption_keys_ready) {
    write_decryption_keys<kRounds>(state.round_keys, state.decryption_keys);
    state.decryption_keys_ready = true;
  }
  return {load_round_keys<kRounds>(state.decryption_keys)};
}

PELM_AESNI void encrypt_block(EngineState& state, uint8_t* block) {
  store(block, encryption(state).encrypt(load(block)));
}

PELM_AESNI void decrypt_block(EngineState& state, uint8_t* block) {
  store(block, decryption(state).decrypt(load(block)));
}

PELM_AESNI void cbc_encrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_encrypt(encryption(state), state.chain, out, in, blocks);
}

PELM_AESNI void cbc_decrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_decrypt(decryption(state), state.chain, out, in, blocks);
}

PELM_AESNI void ctr(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  modes::ctr(encryption(state), counter, out, in, blocks);
}

const EngineKernels kAesniKernels = {
    "AES-NI", expand_key, encrypt_block, decrypt_block, cbc_encrypt, cbc_decrypt, ctr,
};

}  // namespace

const EngineKernels* aesni_kernels() { return aes::cpu_has_aesni() ? &kAesniKernels : nullptr; }

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* aesni_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
