// The engine on the ARMv8 Cryptography Extensions, which almost every arm64
// phone has, on the rounds both key sizes share. Only this file's functions
// are compiled for the instructions; the rest loads on any arm64 CPU.
#include "engine.h"

#include "aes_common/cpu_features.h"

#if (defined(__aarch64__) || defined(__arm__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(PELM_NO_AES_INSTRUCTIONS)

#include <cstring>

#include "aes_common/armv8_rounds.h"

namespace pelm::aes128 {

namespace {

using namespace pelm::aes::armv8;
using Keys = RoundKeys<kRounds>;

constexpr size_t kInFlight = 4;  // blocks per loop where the mode allows

PELM_ARMV8_AES void expand_key() {
  aes::armv8::expand_key(g_engine.key, kKeySize / 4, kRounds, g_engine.round_keys);
  g_engine.decryption_keys_ready = false;
}

PELM_ARMV8_AES inline Keys encryption_keys() { return load_round_keys<kRounds>(g_engine.round_keys); }

// Made once per key, when first needed.
PELM_ARMV8_AES inline Keys decryption_keys() {
  if (!g_engine.decryption_keys_ready) {
    write_decryption_keys<kRounds>(g_engine.round_keys, g_engine.decryption_keys);
    g_engine.decryption_keys_ready = true;
  }
  return load_round_keys<kRounds>(g_engine.decryption_keys);
}

PELM_ARMV8_AES void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  const Keys keys = encryption_keys();
  store(block, encrypt(load(block), keys));
}

PELM_ARMV8_AES void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  const Keys keys = decryption_keys();
  store(block, decrypt(load(block), keys));
}

PELM_ARMV8_AES void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const Keys keys = encryption_keys();
  uint8x16_t chain = load(g_engine.chain);
  for (size_t k = 0; k < blocks; ++k) {
    chain = encrypt(veorq_u8(load(in + kBlockSize * k), chain), keys);
    store(out + kBlockSize * k, chain);
  }
  store(g_engine.chain, chain);
}

PELM_ARMV8_AES void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const Keys keys = decryption_keys();
  uint8x16_t chain = load(g_engine.chain);
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    uint8x16_t s[kInFlight], c[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = c[j] = load(in + kBlockSize * (k + j));
    decrypt_many<kRounds, kInFlight>(s, keys);
    store(out + kBlockSize * k, veorq_u8(s[0], chain));
    for (size_t j = 1; j < kInFlight; ++j) store(out + kBlockSize * (k + j), veorq_u8(s[j], c[j - 1]));
    chain = c[kInFlight - 1];
  }
  for (; k < blocks; ++k) {
    const uint8x16_t c = load(in + kBlockSize * k);
    store(out + kBlockSize * k, veorq_u8(decrypt(c, keys), chain));
    chain = c;
  }
  store(g_engine.chain, chain);
}

uint64_t load_be64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

// The big-endian 128-bit counter as two halves, and counter + j as a block.
struct Counter {
  uint64_t high, low;
};

PELM_ARMV8_AES inline uint8x16_t counter_block(Counter c, uint64_t j) {
  const uint64_t low = c.low + j;
  const uint64_t high = c.high + (low < c.low ? 1 : 0);
  return vreinterpretq_u8_u64(
      vcombine_u64(vcreate_u64(__builtin_bswap64(high)), vcreate_u64(__builtin_bswap64(low))));
}

PELM_ARMV8_AES void ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  const Keys keys = encryption_keys();
  const Counter c{load_be64(counter), load_be64(counter + 8)};
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    uint8x16_t s[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = counter_block(c, k + j);
    encrypt_many<kRounds, kInFlight>(s, keys);
    for (size_t j = 0; j < kInFlight; ++j) {
      store(out + kBlockSize * (k + j), veorq_u8(s[j], load(in + kBlockSize * (k + j))));
    }
  }
  for (; k < blocks; ++k) {
    store(out + kBlockSize * k, veorq_u8(encrypt(counter_block(c, k), keys), load(in + kBlockSize * k)));
  }
  store(counter, counter_block(c, blocks));
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
