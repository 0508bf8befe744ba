// The engine on SSSE3 for x86 CPUs without AES-NI: constant-time rounds
// (no lookup or branch by secret data) on the shared SSSE3 code. Only this
// file's functions are compiled for SSSE3; the dispatch takes them only
// where the CPU has it.
#include "engine.h"

#include "aes_common/cpu_features.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include "aes_common/ssse3_rounds.h"

namespace pelm::aes128 {

namespace {

#define PELM_MODES_TARGET PELM_SSSE3
#include "aes_common/block_modes.inc"

using namespace pelm::aes::ssse3;
using Cipher = BlockCipher<kRounds>;

PELM_SSSE3 void expand_key(EngineState& state) {
  aes::ssse3::expand_key(state.key, kKeySize / 4, kRounds, state.round_keys);
  state.decryption_keys_ready = false;
}

PELM_SSSE3 void encrypt_block(EngineState& state, uint8_t* block) {
  store(block, Cipher{state.round_keys}.encrypt(load(block)));
}

PELM_SSSE3 void decrypt_block(EngineState& state, uint8_t* block) {
  store(block, Cipher{state.round_keys}.decrypt(load(block)));
}

PELM_SSSE3 void cbc_encrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_encrypt(Cipher{state.round_keys}, state.chain, out, in, blocks);
}

PELM_SSSE3 void cbc_decrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  modes::cbc_decrypt(Cipher{state.round_keys}, state.chain, out, in, blocks);
}

PELM_SSSE3 void ctr(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  modes::ctr(Cipher{state.round_keys}, counter, out, in, blocks);
}

const EngineKernels kSsse3Kernels = {
    "SSSE3 (constant-time)", expand_key, encrypt_block, decrypt_block, cbc_encrypt, cbc_decrypt, ctr,
};

}  // namespace

const EngineKernels* ssse3_kernels() { return aes::cpu_has_ssse3() ? &kSsse3Kernels : nullptr; }

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* ssse3_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
