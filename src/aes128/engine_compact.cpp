// The compact AES-128 path (FIPS-197, Nk = 4, Nr = 10) on the software
// rounds both key sizes share: the argument-free steps act on the exported
// operations' shared state, the kernels on the state they are given, and
// the modes keep the block in column words.
#include <cstring>

#include "aes_common/compact_rounds.h"
#include "engine.h"

namespace pelm::aes128 {

EngineState g_engine;

namespace {

namespace compact = pelm::aes::compact;
using compact::load_block;
using compact::store_block;
using compact::add_round_key;

inline void encrypt_words(uint32_t s[4], const uint8_t* schedule) {
  compact::encrypt_words(s, schedule, kRounds);
}

inline void decrypt_words(uint32_t s[4], const uint8_t* schedule) {
  compact::decrypt_words(s, schedule, kRounds);
}

void compact_expand_key(EngineState& state) {
  compact::expand_key(state.key, kKeySize / 4, kRounds, state.round_keys);
  state.decryption_keys_ready = false;
}

void compact_encrypt_block(EngineState& state, uint8_t* block) {
  uint32_t s[4];
  load_block(s, block);
  encrypt_words(s, state.round_keys);
  store_block(block, s);
}

void compact_decrypt_block(EngineState& state, uint8_t* block) {
  uint32_t s[4];
  load_block(s, block);
  decrypt_words(s, state.round_keys);
  store_block(block, s);
}

// The modes keep the block and the chaining value in registers from one
// block to the next; the results are those of Cipher and InvCipher.
void compact_cbc_encrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  const uint8_t* const schedule = state.round_keys;
  uint32_t chain[4];
  load_block(chain, state.chain);
  for (size_t k = 0; k < blocks; ++k, in += kBlockSize, out += kBlockSize) {
    uint32_t s[4];
    load_block(s, in);
    for (int c = 0; c < 4; ++c) s[c] ^= chain[c];
    encrypt_words(s, schedule);
    store_block(out, s);
    for (int c = 0; c < 4; ++c) chain[c] = s[c];
  }
  store_block(state.chain, chain);
}

void compact_cbc_decrypt(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks) {
  const uint8_t* const schedule = state.round_keys;
  uint32_t chain[4];
  load_block(chain, state.chain);
  for (size_t k = 0; k < blocks; ++k, in += kBlockSize, out += kBlockSize) {
    uint32_t ciphertext[4], s[4];
    load_block(ciphertext, in);
    for (int c = 0; c < 4; ++c) s[c] = ciphertext[c];
    decrypt_words(s, schedule);
    for (int c = 0; c < 4; ++c) s[c] ^= chain[c];
    store_block(out, s);
    for (int c = 0; c < 4; ++c) chain[c] = ciphertext[c];
  }
  store_block(state.chain, chain);
}

void compact_ctr(EngineState& state, uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  const uint8_t* const schedule = state.round_keys;
  for (size_t k = 0; k < blocks; ++k, in += kBlockSize, out += kBlockSize) {
    uint32_t s[4], data[4];
    load_block(s, counter);
    encrypt_words(s, schedule);
    add_to_counter(counter, 1);
    load_block(data, in);
    for (int c = 0; c < 4; ++c) s[c] ^= data[c];
    store_block(out, s);
  }
}

}  // namespace

void KeyExpansion() { compact_expand_key(g_engine); }

void AddRoundKey(uint8_t round) {
  uint32_t s[4];
  load_block(s, g_engine.block);
  add_round_key(s, g_engine.round_keys, round);
  store_block(g_engine.block, s);
}

void Cipher() { compact_encrypt_block(g_engine, g_engine.block); }

void InvCipher() { compact_decrypt_block(g_engine, g_engine.block); }

void add_to_counter(uint8_t* counter, uint64_t blocks) {
  for (size_t i = kBlockSize; i-- > 0 && blocks != 0; blocks >>= 8) {
    const uint32_t sum = uint32_t{counter[i]} + (blocks & 0xff);
    counter[i] = static_cast<uint8_t>(sum);
    blocks += sum & 0x100;  // the carry rides on the next byte's addend
  }
}

const EngineKernels kCompactKernels = {
    "compact", compact_expand_key, compact_encrypt_block, compact_decrypt_block,
    compact_cbc_encrypt, compact_cbc_decrypt, compact_ctr,
};

}  // namespace pelm::aes128
