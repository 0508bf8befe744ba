// AES rounds and key expansion on the ARMv8 Cryptography Extensions (AESE,
// AESD, AESMC, AESIMC), for both key sizes. Included only by the files that
// run the ARMv8 path; everything here is compiled for the instructions by
// attribute, so the rest of the library loads on any arm64 CPU. Every
// round, and the key expansion's SubWord, runs in the instructions.
#ifndef PELM_AES_COMMON_ARMV8_ROUNDS_H
#define PELM_AES_COMMON_ARMV8_ROUNDS_H

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "aes_tables.h"
#include "arm_blocks.h"
#include "key_expansion.h"

#if defined(__arm__)
// 32-bit Arm: clang cannot enable NEON or the AES instructions by function
// attribute, so the files that include this are built for them as a whole
// (per-file flags) and run only once the dispatch has seen HWCAP2_AES.
#define PELM_ARMV8_AES
#elif defined(__clang__)
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

namespace pelm::aes::armv8 {

using blocks::load;
using blocks::store;

template <int Rounds>
struct RoundKeys {
  uint8x16_t k[Rounds + 1];
};

template <int Rounds>
PELM_ARMV8_AES inline RoundKeys<Rounds> load_round_keys(const uint8_t* schedule) {
  RoundKeys<Rounds> keys;
  for (int r = 0; r <= Rounds; ++r) keys.k[r] = load(schedule + 16 * r);
  return keys;
}

// AESD runs the equivalent inverse cipher: round keys in reverse order,
// the inner ones through InvMixColumns.
template <int Rounds>
PELM_ARMV8_AES inline void write_decryption_keys(const uint8_t* schedule, uint8_t* out) {
  store(out, load(schedule + 16 * Rounds));
  for (int r = 1; r < Rounds; ++r) {
    store(out + 16 * r, vaesimcq_u8(load(schedule + 16 * (Rounds - r))));
  }
  store(out + 16 * Rounds, load(schedule));
}

// AESE is AddRoundKey, ShiftRows and SubBytes; AESMC is MixColumns.
template <int Rounds>
PELM_ARMV8_AES inline uint8x16_t encrypt(uint8x16_t s, const RoundKeys<Rounds>& keys) {
  for (int r = 0; r < Rounds - 1; ++r) s = vaesmcq_u8(vaeseq_u8(s, keys.k[r]));
  return veorq_u8(vaeseq_u8(s, keys.k[Rounds - 1]), keys.k[Rounds]);
}

template <int Rounds>
PELM_ARMV8_AES inline uint8x16_t decrypt(uint8x16_t s, const RoundKeys<Rounds>& keys) {
  for (int r = 0; r < Rounds - 1; ++r) s = vaesimcq_u8(vaesdq_u8(s, keys.k[r]));
  return veorq_u8(vaesdq_u8(s, keys.k[Rounds - 1]), keys.k[Rounds]);
}

// Several independent blocks through each round together, so the
// instructions' latency overlaps.
template <int Rounds, size_t N>
PELM_ARMV8_AES inline void encrypt_many(uint8x16_t* s, const RoundKeys<Rounds>& keys) {
  for (int r = 0; r < Rounds - 1; ++r) {
    for (size_t j = 0; j < N; ++j) s[j] = vaesmcq_u8(vaeseq_u8(s[j], keys.k[r]));
  }
  for (size_t j = 0; j < N; ++j) s[j] = veorq_u8(vaeseq_u8(s[j], keys.k[Rounds - 1]), keys.k[Rounds]);
}

template <int Rounds, size_t N>
PELM_ARMV8_AES inline void decrypt_many(uint8x16_t* s, const RoundKeys<Rounds>& keys) {
  for (int r = 0; r < Rounds - 1; ++r) {
    for (size_t j = 0; j < N; ++j) s[j] = vaesimcq_u8(vaesdq_u8(s[j], keys.k[r]));
  }
  for (size_t j = 0; j < N; ++j) s[j] = veorq_u8(vaesdq_u8(s[j], keys.k[Rounds - 1]), keys.k[Rounds]);
}

// The rounds with one key's round keys (the decryption form for
// decrypt), as the shared mode loops take them. Four blocks in flight
// cover AESE/AESMC's latency on the cores this runs on.
template <int Rounds>
struct BlockCipher {
  static constexpr size_t kWidth = 4;
  RoundKeys<Rounds> keys;

  PELM_ARMV8_AES uint8x16_t encrypt(uint8x16_t s) const { return armv8::encrypt(s, keys); }
  PELM_ARMV8_AES uint8x16_t decrypt(uint8x16_t s) const { return armv8::decrypt(s, keys); }
  PELM_ARMV8_AES void encrypt_many(uint8x16_t* s) const { armv8::encrypt_many<Rounds, kWidth>(s, keys); }
  PELM_ARMV8_AES void decrypt_many(uint8x16_t* s) const { armv8::decrypt_many<Rounds, kWidth>(s, keys); }
};

// SubWord on one 32-bit word: AESE with a zero round key on a block whose
// four columns all hold the word, where ShiftRows moves nothing.
PELM_ARMV8_AES inline uint32_t sub_word(uint32_t w) {
  const uint8x16_t s = vaeseq_u8(vreinterpretq_u8_u32(vdupq_n_u32(w)), vdupq_n_u8(0));
  return vgetq_lane_u32(vreinterpretq_u32_u8(s), 0);
}

// FIPS-197 5.2 on this path's SubWord.
PELM_ARMV8_AES inline void expand_key(const uint8_t* key, int key_words, int rounds, uint8_t* schedule) {
  expand_key_schedule(key, key_words, rounds, schedule, sub_word);
}

}  // namespace pelm::aes::armv8

#endif
