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

PELM_ARMV8_AES void expand_key() {
  aes::armv8::expand_key(g_engine.key, kKeySize / 4, kRounds, g_engine.round_keys);
  g_engine.decryption_keys_ready = false;
}

PELM_ARMV8_AES inline Cipher encryption() { return {load_round_keys<kRounds>(g_engine.round_keys)}; }

// The decryption keys are made once per key, when first needed.
PELM_ARMV8_AES inline Cipher decryption() {
  if (!g_engine.decryption_keys_ready) {
    write_decryption_keys<kRounds>(g_engine.round_keys, g_engine.decryption_keys);
    g_engine.decryption_keys_ready = true;
  }
  return {load_round_keys<kRounds>(g_engine.decryption_keys)};
}

PELM_ARMV8_AES void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, encryption().encrypt(load(block)));
}

PELM_ARMV8_AES void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, decryption().decrypt(load(block)));
}

PELM_ARMV8_AES void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_encrypt(encryption(), g_engine.chain, out, in, blocks);
}

PELM_ARMV8_AES void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_decrypt(decryption(), g_engine.chain, out, in, blocks);
}

PELM_ARMV8_AES void ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  modes::ctr(encryption(), counter, out, in, blocks);
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
