// AES rounds and key expansion on x86-64's AES instructions (AES-NI), for
// both key sizes. Included only by the files that run the AES-NI path;
// everything here is compiled for the instructions by attribute, so the
// rest of the library keeps the baseline target and loads on any CPU.
// Every round runs in the instructions: nothing is looked up by a secret.
#ifndef PELM_AES_COMMON_AESNI_ROUNDS_H
#define PELM_AES_COMMON_AESNI_ROUNDS_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "x86_blocks.h"

#define PELM_AESNI __attribute__((target("aes,sse2")))

namespace pelm::aes::aesni {

using blocks::load;
using blocks::store;

template <int Rounds>
struct RoundKeys {
  __m128i k[Rounds + 1];
};

template <int Rounds>
PELM_AESNI inline RoundKeys<Rounds> load_round_keys(const uint8_t* schedule) {
  RoundKeys<Rounds> keys;
  for (int r = 0; r <= Rounds; ++r) keys.k[r] = load(schedule + 16 * r);
  return keys;
}

// AESDEC runs the equivalent inverse cipher: the schedule's round keys in
// reverse order, the inner ones through InvMixColumns.
template <int Rounds>
PELM_AESNI inline void write_decryption_keys(const uint8_t* schedule, uint8_t* out) {
  store(out, load(schedule + 16 * Rounds));
  for (int r = 1; r < Rounds; ++r) {
    store(out + 16 * r, _mm_aesimc_si128(load(schedule + 16 * (Rounds - r))));
  }
  store(out + 16 * Rounds, load(schedule));
}

template <int Rounds>
PELM_AESNI inline __m128i encrypt(__m128i s, const RoundKeys<Rounds>& keys) {
  s = _mm_xor_si128(s, keys.k[0]);
  for (int r = 1; r < Rounds; ++r) s = _mm_aesenc_si128(s, keys.k[r]);
  return _mm_aesenclast_si128(s, keys.k[Rounds]);
}

template <int Rounds>
PELM_AESNI inline __m128i decrypt(__m128i s, const RoundKeys<Rounds>& keys) {
  s = _mm_xor_si128(s, keys.k[0]);
  for (int r = 1; r < Rounds; ++r) s = _mm_aesdec_si128(s, keys.k[r]);
  return _mm_aesdeclast_si128(s, keys.k[Rounds]);
}

// Several independent blocks through each round together, so the
// instructions' latency overlaps.
template <int Rounds, size_t N>
PELM_AESNI inline void encrypt_many(__m128i* s, const RoundKeys<Rounds>& keys) {
  for (size_t j = 0; j < N; ++j) s[j] = _mm_xor_si128(s[j], keys.k[0]);
  for (int r = 1; r < Rounds; ++r) {
    for (size_t j = 0; j < N; ++j) s[j] = _mm_aesenc_si128(s[j], keys.k[r]);
  }
  for (size_t j = 0; j < N; ++j) s[j] = _mm_aesenclast_si128(s[j], keys.k[Rounds]);
}

template <int Rounds, size_t N>
PELM_AESNI inline void decrypt_many(__m128i* s, const RoundKeys<Rounds>& keys) {
  for (size_t j = 0; j < N; ++j) s[j] = _mm_xor_si128(s[j], keys.k[0]);
  for (int r = 1; r < Rounds; ++r) {
    for (size_t j = 0; j < N; ++j) s[j] = _mm_aesdec_si128(s[j], keys.k[r]);
  }
  for (size_t j = 0; j < N; ++j) s[j] = _mm_aesdeclast_si128(s[j], keys.k[Rounds]);
}

// The rounds with one key's round keys (the decryption form for
// decrypt), as the shared mode loops take them. Eight blocks in flight
// cover AESENC's latency on the CPUs this runs on.
template <int Rounds>
struct BlockCipher {
  static constexpr size_t kWidth = 8;
  RoundKeys<Rounds> keys;

  PELM_AESNI __m128i encrypt(__m128i s) const { return aesni::encrypt(s, keys); }
  PELM_AESNI __m128i decrypt(__m128i s) const { return aesni::decrypt(s, keys); }
  PELM_AESNI void encrypt_many(__m128i* s) const { aesni::encrypt_many<Rounds, kWidth>(s, keys); }
  PELM_AESNI void decrypt_many(__m128i* s) const { aesni::decrypt_many<Rounds, kWidth>(s, keys); }
};

// One FIPS-197 expansion step: w[i] = w[i - Nk] ^ temp for four words at
// once, `word` holding temp (from AESKEYGENASSIST) in every lane.
PELM_AESNI inline __m128i expand_step(__m128i previous, __m128i word) {
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  return _mm_xor_si128(previous, word);
}

// The 11 round keys of a 16-byte key, as FIPS-197 bytes.
PELM_AESNI inline void expand_key_128(const uint8_t* key, uint8_t* schedule) {
  __m128i k = load(key);
  store(schedule, k);
#define PELM_AES128_ROUND_KEY(r, rcon)                                                  \
  k = expand_step(k, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(k, rcon), 0xff));    \
  store(schedule + 16 * (r), k);
  PELM_AES128_ROUND_KEY(1, 0x01)
  PELM_AES128_ROUND_KEY(2, 0x02)
  PELM_AES128_ROUND_KEY(3, 0x04)
  PELM_AES128_ROUND_KEY(4, 0x08)
  PELM_AES128_ROUND_KEY(5, 0x10)
  PELM_AES128_ROUND_KEY(6, 0x20)
  PELM_AES128_ROUND_KEY(7, 0x40)
  PELM_AES128_ROUND_KEY(8, 0x80)
  PELM_AES128_ROUND_KEY(9, 0x1b)
  PELM_AES128_ROUND_KEY(10, 0x36)
#undef PELM_AES128_ROUND_KEY
}

// The 15 round keys of a 32-byte key: even round keys take
// SubWord(RotWord(w)) ^ Rcon of the one before, odd ones SubWord(w).
PELM_AESNI inline void expand_key_256(const uint8_t* key, uint8_t* schedule) {
  __m128i even = load(key), odd = load(key + 16);
  store(schedule, even);
  store(schedule + 16, odd);
#define PELM_AES256_ROUND_KEYS(r, rcon)                                                     \
  even = expand_step(even, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(odd, rcon), 0xff));  \
  store(schedule + 16 * (r), even);                                                         \
  odd = expand_step(odd, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(even, 0), 0xaa));      \
  store(schedule + 16 * ((r) + 1), odd);
  PELM_AES256_ROUND_KEYS(2, 0x01)
  PELM_AES256_ROUND_KEYS(4, 0x02)
  PELM_AES256_ROUND_KEYS(6, 0x04)
  PELM_AES256_ROUND_KEYS(8, 0x08)
  PELM_AES256_ROUND_KEYS(10, 0x10)
  PELM_AES256_ROUND_KEYS(12, 0x20)
#undef PELM_AES256_ROUND_KEYS
  even = expand_step(even, _mm_shuffle_epi32(_mm_aeskeygenassist_si128(odd, 0x40), 0xff));
  store(schedule + 16 * 14, even);
}

}  // namespace pelm::aes::aesni

#endif
