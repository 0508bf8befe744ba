// The engine on NEON for Arm CPUs without the Crypto Extensions:
// constant-time rounds (no lookup or branch by secret data) on the shared
// NEON code. NEON is part of every arm64 CPU; a 32-bit build has this path
// when it is built for NEON (armeabi-v7a is).
#include "engine.h"

#include "aes_common/cpu_features.h"

#if defined(__ARM_NEON)

#include <cstring>

#include "aes_common/neon_rounds.h"

namespace pelm::aes128 {

namespace {

using namespace pelm::aes::neon;

void expand_key() {
  aes::neon::expand_key(g_engine.key, kKeySize / 4, kRounds, g_engine.round_keys);
  g_engine.decryption_keys_ready = false;
}

void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, encrypt(load(block), g_engine.round_keys, kRounds));
}

void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, decrypt(load(block), g_engine.round_keys, kRounds));
}

void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  uint8x16_t chain = load(g_engine.chain);
  for (size_t k = 0; k < blocks; ++k) {
    chain = encrypt(veorq_u8(load(in + kBlockSize * k), chain), g_engine.round_keys, kRounds);
    store(out + kBlockSize * k, chain);
  }
  store(g_engine.chain, chain);
}

void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  uint8x16_t chain = load(g_engine.chain);
  for (size_t k = 0; k < blocks; ++k) {
    const uint8x16_t c = load(in + kBlockSize * k);
    store(out + kBlockSize * k, veorq_u8(decrypt(c, g_engine.round_keys, kRounds), chain));
    chain = c;
  }
  store(g_engine.chain, chain);
}

void ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  for (size_t k = 0; k < blocks; ++k) {
    const uint8x16_t keystream = encrypt(load(counter), g_engine.round_keys, kRounds);
    add_to_counter(counter, 1);
    store(out + kBlockSize * k, veorq_u8(keystream, load(in + kBlockSize * k)));
  }
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
