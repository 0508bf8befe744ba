// The engine on the ARMv8 Cryptography Extensions (AESE, AESD, AESMC,
// AESIMC), which almost every arm64 phone has. Only the functions here are
// compiled for them, by attribute; the rest of the library keeps the
// baseline target and loads on any arm64 CPU. Every round, and the key
// expansion's SubWord, runs in the instructions: no step looks anything up
// by a secret-dependent index.
#include "engine.h"

#include "cpu_features.h"

#if defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(PELM_NO_AES_INSTRUCTIONS)

#include <arm_neon.h>

#include <cstring>

#if defined(__clang__)
#define PELM_ARMV8_AES __attribute__((target("aes")))
// Clang before 16 declares the AES intrinsics only when the whole build
// targets the instructions; its builtins work under the attribute above.
#if __clang_major__ < 16 && !defined(__ARM_FEATURE_AES) && !defined(__ARM_FEATURE_CRYPTO)
#define vaeseq_u8(d, k) ((uint8x16_t)__builtin_neon_vaeseq_v((int8x16_t)(d), (int8x16_t)(k), 48))
#define vaesdq_u8(d, k) ((uint8x16_t)__builtin_neon_vaesdq_v((int8x16_t)(d), (int8x16_t)(k), 48))
#define vaesmcq_u8(d) ((uint8x16_t)__builtin_neon_vaesmcq_v((int8x16_t)(d), 48))
#define vaesimcq_u8(d) ((uint8x16_t)__builtin_neon_vaesimcq_v((int8x16_t)(d), 48))
#endif
#else
#define PELM_ARMV8_AES __attribute__((target("+crypto")))
#endif

namespace pelm::aes128 {

namespace {

constexpr size_t kInFlight = 4;  // blocks per loop where the mode allows

PELM_ARMV8_AES inline uint8x16_t load(const uint8_t* p) { return vld1q_u8(p); }
PELM_ARMV8_AES inline void store(uint8_t* p, uint8x16_t v) { vst1q_u8(p, v); }

// SubWord on one 32-bit word: AESE with a zero round key on a block whose
// four columns all hold the word, where ShiftRows moves nothing.
PELM_ARMV8_AES inline uint32_t sub_word(uint32_t w) {
  const uint8x16_t s = vaeseq_u8(vreinterpretq_u8_u32(vdupq_n_u32(w)), vdupq_n_u8(0));
  return vgetq_lane_u32(vreinterpretq_u32_u8(s), 0);
}

PELM_ARMV8_AES void expand_key() {
  uint32_t w[4 * (kRounds + 1)];
  std::memcpy(w, g_engine.key, kKeySize);
  for (size_t i = 4; i < 4 * (kRounds + 1); ++i) {
    uint32_t temp = w[i - 1];
    if (i % 4 == 0) {  // RotWord on a little-endian word is a right rotation
      const uint32_t s = sub_word(temp);
      temp = (s >> 8 | s << 24) ^ kRcon[i / 4];
    }
    w[i] = w[i - 4] ^ temp;
  }
  std::memcpy(g_engine.round_keys, w, kScheduleSize);
  g_engine.decryption_keys_ready = false;
}

struct RoundKeys {
  uint8x16_t k[kRounds + 1];
};

PELM_ARMV8_AES inline RoundKeys encryption_keys() {
  RoundKeys keys;
  for (int r = 0; r <= kRounds; ++r) keys.k[r] = load(g_engine.round_keys + kBlockSize * r);
  return keys;
}

// AESD runs the equivalent inverse cipher: round keys in reverse order, the
// inner ones through InvMixColumns. Made once per key, when needed.
PELM_ARMV8_AES inline RoundKeys decryption_keys() {
  if (!g_engine.decryption_keys_ready) {
    uint8_t* dk = g_engine.decryption_keys;
    store(dk, load(g_engine.round_keys + kBlockSize * kRounds));
    for (int r = 1; r < kRounds; ++r) {
      store(dk + kBlockSize * r, vaesimcq_u8(load(g_engine.round_keys + kBlockSize * (kRounds - r))));
    }
    store(dk + kBlockSize * kRounds, load(g_engine.round_keys));
    g_engine.decryption_keys_ready = true;
  }
  RoundKeys keys;
  for (int r = 0; r <= kRounds; ++r) keys.k[r] = load(g_engine.decryption_keys + kBlockSize * r);
  return keys;
}

// AESE is AddRoundKey, ShiftRows and SubBytes; AESMC is MixColumns.
PELM_ARMV8_AES inline uint8x16_t encrypt(uint8x16_t s, const RoundKeys& keys) {
  for (int r = 0; r < kRounds - 1; ++r) s = vaesmcq_u8(vaeseq_u8(s, keys.k[r]));
  return veorq_u8(vaeseq_u8(s, keys.k[kRounds - 1]), keys.k[kRounds]);
}

PELM_ARMV8_AES inline uint8x16_t decrypt(uint8x16_t s, const RoundKeys& keys) {
  for (int r = 0; r < kRounds - 1; ++r) s = vaesimcq_u8(vaesdq_u8(s, keys.k[r]));
  return veorq_u8(vaesdq_u8(s, keys.k[kRounds - 1]), keys.k[kRounds]);
}

// Several independent blocks through each round together, so the
// instructions' latency overlaps.
PELM_ARMV8_AES inline void encrypt_many(uint8x16_t* s, const RoundKeys& keys) {
  for (int r = 0; r < kRounds - 1; ++r) {
    for (size_t j = 0; j < kInFlight; ++j) s[j] = vaesmcq_u8(vaeseq_u8(s[j], keys.k[r]));
  }
  for (size_t j = 0; j < kInFlight; ++j) {
    s[j] = veorq_u8(vaeseq_u8(s[j], keys.k[kRounds - 1]), keys.k[kRounds]);
  }
}

PELM_ARMV8_AES inline void decrypt_many(uint8x16_t* s, const RoundKeys& keys) {
  for (int r = 0; r < kRounds - 1; ++r) {
    for (size_t j = 0; j < kInFlight; ++j) s[j] = vaesimcq_u8(vaesdq_u8(s[j], keys.k[r]));
  }
  for (size_t j = 0; j < kInFlight; ++j) {
    s[j] = veorq_u8(vaesdq_u8(s[j], keys.k[kRounds - 1]), keys.k[kRounds]);
  }
}

PELM_ARMV8_AES void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, encrypt(load(block), encryption_keys()));
}

PELM_ARMV8_AES void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, decrypt(load(block), decryption_keys()));
}

PELM_ARMV8_AES void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const RoundKeys keys = encryption_keys();
  uint8x16_t chain = load(g_engine.chain);
  for (size_t k = 0; k < blocks; ++k) {
    chain = encrypt(veorq_u8(load(in + kBlockSize * k), chain), keys);
    store(out + kBlockSize * k, chain);
  }
  store(g_engine.chain, chain);
}

PELM_ARMV8_AES void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const RoundKeys keys = decryption_keys();
  uint8x16_t chain = load(g_engine.chain);
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    uint8x16_t s[kInFlight], c[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = c[j] = load(in + kBlockSize * (k + j));
    decrypt_many(s, keys);
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
  const RoundKeys keys = encryption_keys();
  const Counter c{load_be64(counter), load_be64(counter + 8)};
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    uint8x16_t s[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = counter_block(c, k + j);
    encrypt_many(s, keys);
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
  return cpu_has_armv8_aes() ? &kArmv8Kernels : nullptr;
}

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* armv8_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
