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

PELM_AESNI void expand_key() {
  expand_key_128(g_engine.key, g_engine.round_keys);
  g_engine.decryption_keys_ready = false;
}

PELM_AESNI inline Cipher encryption() { return {load_round_keys<kRounds>(g_engine.round_keys)}; }

// The decryption keys are made once per key, when first needed.
PELM_AESNI inline Cipher decryption() {
  if (!g_engine.decryption_keys_ready) {
    write_decryption_keys<kRounds>(g_engine.round_keys, g_engine.decryption_keys);
    g_engine.decryption_keys_ready = true;
  }
  return {load_round_keys<kRounds>(g_engine.decryption_keys)};
}

PELM_AESNI void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, encryption().encrypt(load(block)));
}

PELM_AESNI void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, decryption().decrypt(load(block)));
}

PELM_AESNI void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_encrypt(encryption(), g_engine.chain, out, in, blocks);
}

PELM_AESNI void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_decrypt(decryption(), g_engine.chain, out, in, blocks);
}

PELM_AESNI void ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  modes::ctr(encryption(), counter, out, in, blocks);
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
