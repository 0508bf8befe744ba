// The compact AES-128 path (FIPS-197, Nk = 4, Nr = 10) on the software
// rounds both key sizes share: the argument-free steps act on the
// process-wide state, and the modes keep the block in column words.
#include <cstring>

#include "aes_common/compact_rounds.h"
#include "engine.h"

namespace pelm::aes128 {

EngineState g_engine;
ForkSafeMutex g_engine_mutex;

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

void compact_encrypt_block(uint8_t* block) {
  g_engine.block = block;
  Cipher();
}

void compact_decrypt_block(uint8_t* block) {
  g_engine.block = block;
  InvCipher();
}

// The modes keep the block and the chaining value in registers from one
// block to the next; the results are those of Cipher and InvCipher.
void compact_cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const uint8_t* const schedule = g_engine.round_keys;
  uint32_t chain[4];
  load_block(chain, g_engine.chain);
  for (size_t k = 0; k < blocks; ++k, in += kBlockSize, out += kBlockSize) {
    uint32_t s[4];
    load_block(s, in);
    for (int c = 0; c < 4; ++c) s[c] ^= chain[c];
    encrypt_words(s, schedule);
    store_block(out, s);
    for (int c = 0; c < 4; ++c) chain[c] = s[c];
  }
  store_block(g_engine.chain, chain);
}

void compact_cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const uint8_t* const schedule = g_engine.round_keys;
  uint32_t chain[4];
  load_block(chain, g_engine.chain);
  for (size_t k = 0; k < blocks; ++k, in += kBlockSize, out += kBlockSize) {
    uint32_t ciphertext[4], s[4];
    load_block(ciphertext, in);
    for (int c = 0; c < 4; ++c) s[c] = ciphertext[c];
    decrypt_words(s, schedule);
    for (int c = 0; c < 4; ++c) s[c] ^= chain[c];
    store_block(out, s);
    for (int c = 0; c < 4; ++c) chain[c] = ciphertext[c];
  }
  store_block(g_engine.chain, chain);
}

void compact_ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  const uint8_t* const schedule = g_engine.round_keys;
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

void KeyExpansion() {
  compact::expand_key(g_engine.key, kKeySize / 4, kRounds, g_engine.round_keys);
  g_engine.decryption_keys_ready = false;
}

void AddRoundKey(uint8_t round) {
  uint32_t s[4];
  load_block(s, g_engine.block);
  add_round_key(s, g_engine.round_keys, round);
  store_block(g_engine.block, s);
}

void Cipher() {
  uint32_t s[4];
  load_block(s, g_engine.block);
  encrypt_words(s, g_engine.round_keys);
  store_block(g_engine.block, s);
}

void InvCipher() {
  uint32_t s[4];
  load_block(s, g_engine.block);
  decrypt_words(s, g_engine.round_keys);
  store_block(g_engine.block, s);
}

void add_to_counter(uint8_t* counter, uint64_t blocks) {
  for (size_t i = kBlockSize; i-- > 0 && blocks != 0; blocks >>= 8) {
    const uint32_t sum = uint32_t{counter[i]} + (blocks & 0xff);
    counter[i] = static_cast<uint8_t>(sum);
    blocks += sum & 0x100;  // the carry rides on the next byte's addend
  }
}

const EngineKernels kCompactKernels = {
    "compact", KeyExpansion, compact_encrypt_block, compact_decrypt_block,
    compact_cbc_encrypt, compact_cbc_decrypt, compact_ctr,
};

}  // namespace pelm::aes128
