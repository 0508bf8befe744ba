// The engine on x86-64's AES instructions (AES-NI). Only the functions here
// are compiled for them, by attribute; the rest of the library keeps the
// baseline target and loads on any x86-64 CPU. Every round runs in the
// instructions, so no step looks anything up by a secret-dependent index.
#include "engine.h"

#include "cpu_features.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(PELM_NO_AES_INSTRUCTIONS)

#include <immintrin.h>

#include <cstring>

#define PELM_AESNI __attribute__((target("aes,sse2")))

namespace pelm::aes128 {

namespace {

constexpr size_t kInFlight = 8;  // blocks per loop where the mode allows

PELM_AESNI inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

PELM_AESNI inline void store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// One FIPS-197 key expansion step from the previous round key and
// AESKEYGENASSIST's SubWord(RotWord(w3)) ^ Rcon.
PELM_AESNI inline __m128i next_round_key(__m128i key, __m128i assist) {
  assist = _mm_shuffle_epi32(assist, 0xff);
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  return _mm_xor_si128(key, assist);
}

PELM_AESNI void expand_key() {
  uint8_t* rk = g_engine.round_keys;
  __m128i k = load(g_engine.key);
  store(rk, k);
#define PELM_ROUND_KEY(r, rcon)                                     \
  k = next_round_key(k, _mm_aeskeygenassist_si128(k, rcon));        \
  store(rk + kBlockSize * (r), k);
  PELM_ROUND_KEY(1, 0x01)
  PELM_ROUND_KEY(2, 0x02)
  PELM_ROUND_KEY(3, 0x04)
  PELM_ROUND_KEY(4, 0x08)
  PELM_ROUND_KEY(5, 0x10)
  PELM_ROUND_KEY(6, 0x20)
  PELM_ROUND_KEY(7, 0x40)
  PELM_ROUND_KEY(8, 0x80)
  PELM_ROUND_KEY(9, 0x1b)
  PELM_ROUND_KEY(10, 0x36)
#undef PELM_ROUND_KEY
  g_engine.decryption_keys_ready = false;
}

struct RoundKeys {
  __m128i k[kRounds + 1];
};

PELM_AESNI inline RoundKeys encryption_keys() {
  RoundKeys keys;
  for (int r = 0; r <= kRounds; ++r) keys.k[r] = load(g_engine.round_keys + kBlockSize * r);
  return keys;
}

// AESDEC runs the equivalent inverse cipher: round keys in reverse order,
// the inner ones through InvMixColumns. Made once per key, when needed.
PELM_AESNI inline RoundKeys decryption_keys() {
  if (!g_engine.decryption_keys_ready) {
    uint8_t* dk = g_engine.decryption_keys;
    store(dk, load(g_engine.round_keys + kBlockSize * kRounds));
    for (int r = 1; r < kRounds; ++r) {
      store(dk + kBlockSize * r,
            _mm_aesimc_si128(load(g_engine.round_keys + kBlockSize * (kRounds - r))));
    }
    store(dk + kBlockSize * kRounds, load(g_engine.round_keys));
    g_engine.decryption_keys_ready = true;
  }
  RoundKeys keys;
  for (int r = 0; r <= kRounds; ++r) keys.k[r] = load(g_engine.decryption_keys + kBlockSize * r);
  return keys;
}

PELM_AESNI inline __m128i encrypt(__m128i s, const RoundKeys& keys) {
  s = _mm_xor_si128(s, keys.k[0]);
  for (int r = 1; r < kRounds; ++r) s = _mm_aesenc_si128(s, keys.k[r]);
  return _mm_aesenclast_si128(s, keys.k[kRounds]);
}

PELM_AESNI inline __m128i decrypt(__m128i s, const RoundKeys& keys) {
  s = _mm_xor_si128(s, keys.k[0]);
  for (int r = 1; r < kRounds; ++r) s = _mm_aesdec_si128(s, keys.k[r]);
  return _mm_aesdeclast_si128(s, keys.k[kRounds]);
}

// Several independent blocks through each round together, so the
// instructions' latency overlaps.
PELM_AESNI inline void encrypt_many(__m128i* s, const RoundKeys& keys) {
  for (size_t j = 0; j < kInFlight; ++j) s[j] = _mm_xor_si128(s[j], keys.k[0]);
  for (int r = 1; r < kRounds; ++r) {
    for (size_t j = 0; j < kInFlight; ++j) s[j] = _mm_aesenc_si128(s[j], keys.k[r]);
  }
  for (size_t j = 0; j < kInFlight; ++j) s[j] = _mm_aesenclast_si128(s[j], keys.k[kRounds]);
}

PELM_AESNI inline void decrypt_many(__m128i* s, const RoundKeys& keys) {
  for (size_t j = 0; j < kInFlight; ++j) s[j] = _mm_xor_si128(s[j], keys.k[0]);
  for (int r = 1; r < kRounds; ++r) {
    for (size_t j = 0; j < kInFlight; ++j) s[j] = _mm_aesdec_si128(s[j], keys.k[r]);
  }
  for (size_t j = 0; j < kInFlight; ++j) s[j] = _mm_aesdeclast_si128(s[j], keys.k[kRounds]);
}

PELM_AESNI void encrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, encrypt(load(block), encryption_keys()));
}

PELM_AESNI void decrypt_block(uint8_t* block) {
  g_engine.block = block;
  store(block, decrypt(load(block), decryption_keys()));
}

PELM_AESNI void cbc_encrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const RoundKeys keys = encryption_keys();
  __m128i chain = load(g_engine.chain);
  for (size_t k = 0; k < blocks; ++k) {
    chain = encrypt(_mm_xor_si128(load(in + kBlockSize * k), chain), keys);
    store(out + kBlockSize * k, chain);
  }
  store(g_engine.chain, chain);
}

PELM_AESNI void cbc_decrypt(uint8_t* out, const uint8_t* in, size_t blocks) {
  const RoundKeys keys = decryption_keys();
  __m128i chain = load(g_engine.chain);
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    __m128i s[kInFlight], c[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = c[j] = load(in + kBlockSize * (k + j));
    decrypt_many(s, keys);
    store(out + kBlockSize * k, _mm_xor_si128(s[0], chain));
    for (size_t j = 1; j < kInFlight; ++j) {
      store(out + kBlockSize * (k + j), _mm_xor_si128(s[j], c[j - 1]));
    }
    chain = c[kInFlight - 1];
  }
  for (; k < blocks; ++k) {
    const __m128i c = load(in + kBlockSize * k);
    store(out + kBlockSize * k, _mm_xor_si128(decrypt(c, keys), chain));
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

PELM_AESNI inline __m128i counter_block(Counter c, uint64_t j) {
  const uint64_t low = c.low + j;
  const uint64_t high = c.high + (low < c.low ? 1 : 0);
  return _mm_set_epi64x(static_cast<long long>(__builtin_bswap64(low)),
                        static_cast<long long>(__builtin_bswap64(high)));
}

PELM_AESNI void ctr(uint8_t* out, const uint8_t* in, size_t blocks, uint8_t* counter) {
  const RoundKeys keys = encryption_keys();
  Counter c{load_be64(counter), load_be64(counter + 8)};
  size_t k = 0;
  for (; k + kInFlight <= blocks; k += kInFlight) {
    __m128i s[kInFlight];
    for (size_t j = 0; j < kInFlight; ++j) s[j] = counter_block(c, k + j);
    encrypt_many(s, keys);
    for (size_t j = 0; j < kInFlight; ++j) {
      uint8_t* o = out + kBlockSize * (k + j);
      store(o, _mm_xor_si128(s[j], load(in + kBlockSize * (k + j))));
    }
  }
  for (; k < blocks; ++k) {
    const __m128i s = encrypt(counter_block(c, k), keys);
    store(out + kBlockSize * k, _mm_xor_si128(s, load(in + kBlockSize * k)));
  }
  const __m128i next = counter_block(c, blocks);
  store(counter, next);
}

const EngineKernels kAesniKernels = {
    "AES-NI", expand_key, encrypt_block, decrypt_block, cbc_encrypt, cbc_decrypt, ctr,
};

}  // namespace

const EngineKernels* aesni_kernels() { return cpu_has_aesni() ? &kAesniKernels : nullptr; }

}  // namespace pelm::aes128

#else

namespace pelm::aes128 {
const EngineKernels* aesni_kernels() { return nullptr; }
}  // namespace pelm::aes128

#endif
