// Constant-time AES rounds on NEON (arm64, and 32-bit Arm built with NEON,
// as armeabi-v7a is), for both key sizes and for CPUs without the Crypto
// Extensions. SubBytes reads the whole S-box for every block with table
// lookups that give zero for an index out of the table's range: four over 64
// entries each on arm64, eight over 32 entries per half-block on 32-bit Arm.
// Every entry is touched and no branch or memory address depends on the data
// or the key.
#ifndef PELM_AES_COMMON_NEON_ROUNDS_H
#define PELM_AES_COMMON_NEON_ROUNDS_H

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "aes_tables.h"
#include "arm_blocks.h"
#include "key_expansion.h"

namespace pelm::aes::neon {

using blocks::load;
using blocks::store;

#if defined(__aarch64__)

inline uint8x16x4_t quarter(const uint8_t* box, int q) {
  const uint8_t* p = box + 64 * q;
  return uint8x16x4_t{{load(p), load(p + 16), load(p + 32), load(p + 48)}};
}

// Every byte through `box` (256 entries), all 256 entries read.
inline uint8x16_t substitute(uint8x16_t x, const uint8_t* box) {
  uint8x16_t result = vqtbl4q_u8(quarter(box, 0), x);
  for (int q = 1; q < 4; ++q) {
    const uint8x16_t index = vsubq_u8(x, vdupq_n_u8(static_cast<uint8_t>(64 * q)));
    result = vorrq_u8(result, vqtbl4q_u8(quarter(box, q), index));
  }
  return result;
}

inline uint8x16_t permute(uint8x16_t s, const uint8_t (&order)[16]) {
  return vqtbl1q_u8(s, vld1q_u8(order));
}

#else  // 32-bit Arm: VTBL looks up at most 32 entries for 8 bytes at a time.

// Every byte through `box` (256 entries), all 256 entries read.
inline uint8x16_t substitute(uint8x16_t x, const uint8_t* box) {
  const uint8x8_t low = vget_low_u8(x), high = vget_high_u8(x);
  uint8x8_t low_result = vdup_n_u8(0), high_result = vdup_n_u8(0);
  for (int part = 0; part < 8; ++part) {
    const uint8_t* p = box + 32 * part;
    const uint8x8x4_t table{{vld1_u8(p), vld1_u8(p + 8), vld1_u8(p + 16), vld1_u8(p + 24)}};
    const uint8x8_t offset = vdup_n_u8(static_cast<uint8_t>(32 * part));
    low_result = vorr_u8(low_result, vtbl4_u8(table, vsub_u8(low, offset)));
    high_result = vorr_u8(high_result, vtbl4_u8(table, vsub_u8(high, offset)));
  }
  return vcombine_u8(low_result, high_result);
}

inline uint8x16_t permute(uint8x16_t s, const uint8_t (&order)[16]) {
  const uint8x8x2_t table{{vget_low_u8(s), vget_high_u8(s)}};
  const uint8x16_t index = vld1q_u8(order);
  return vcombine_u8(vtbl2_u8(table, vget_low_u8(index)), vtbl2_u8(table, vget_high_u8(index)));
}

#endif

// The block's byte n is the state's row n mod 4, column n div 4.
constexpr uint8_t kShiftRows[16] = {0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12, 1, 6, 11};
constexpr uint8_t kInvShiftRows[16] = {0, 13, 10, 7, 4, 1, 14, 11, 8, 5, 2, 15, 12, 9, 6, 3};
// Within each column: byte i takes byte i + 1, or i + 2.
constexpr uint8_t kRotate1[16] = {1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8, 13, 14, 15, 12};
constexpr uint8_t kRotate2[16] = {2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13};

// Each byte times x in GF(2^8), 0x1b folded in by a mask from the top bit.
inline uint8x16_t xtime(uint8x16_t v) {
  const uint8x16_t top = vreinterpretq_u8_s8(vshrq_n_s8(vreinterpretq_s8_u8(v), 7));
  return veorq_u8(vshlq_n_u8(v, 1), vandq_u8(top, vdupq_n_u8(0x1b)));
}

inline uint8x16_t mix_columns(uint8x16_t a) {
  const uint8x16_t neighbours = veorq_u8(a, permute(a, kRotate1));
  const uint8x16_t t = veorq_u8(neighbours, permute(neighbours, kRotate2));
  return veorq_u8(veorq_u8(a, t), xtime(neighbours));
}

inline uint8x16_t inv_mix_columns(uint8x16_t a) {
  return mix_columns(veorq_u8(a, xtime(xtime(veorq_u8(a, permute(a, kRotate2))))));
}

inline uint8x16_t round_key(const uint8_t* schedule, int round) { return load(schedule + 16 * round); }

inline uint8x16_t encrypt(uint8x16_t s, const uint8_t* schedule, int rounds) {
  s = veorq_u8(s, round_key(schedule, 0));
  for (int round = 1; round < rounds; ++round) {
    s = veorq_u8(mix_columns(permute(substitute(s, kSbox), kShiftRows)), round_key(schedule, round));
  }
  return veorq_u8(permute(substitute(s, kSbox), kShiftRows), round_key(schedule, rounds));
}

// The inverse cipher of FIPS-197 5.3, on the schedule as expanded.
inline uint8x16_t decrypt(uint8x16_t s, const uint8_t* schedule, int rounds) {
  s = veorq_u8(s, round_key(schedule, rounds));
  for (int round = rounds - 1; round > 0; --round) {
    s = substitute(permute(s, kInvShiftRows), kInvSbox);
    s = inv_mix_columns(veorq_u8(s, round_key(schedule, round)));
  }
  return veorq_u8(substitute(permute(s, kInvShiftRows), kInvSbox), round_key(schedule, 0));
}

// The rounds with one key's schedule, as the shared mode loops take them:
// one block at a time.
template <int Rounds>
struct BlockCipher {
  static constexpr size_t kWidth = 1;
  const uint8_t* schedule;

  uint8x16_t encrypt(uint8x16_t s) const { return neon::encrypt(s, schedule, Rounds); }
  uint8x16_t decrypt(uint8x16_t s) const { return neon::decrypt(s, schedule, Rounds); }
};

inline uint32_t sub_word(uint32_t w) {
  const uint8x16_t s = substitute(vreinterpretq_u8_u32(vdupq_n_u32(w)), kSbox);
  return vgetq_lane_u32(vreinterpretq_u32_u8(s), 0);
}

// FIPS-197 5.2 on this path's SubWord.
inline void expand_key(const uint8_t* key, int key_words, int rounds, uint8_t* schedule) {
  expand_key_schedule(key, key_words, rounds, schedule, sub_word);
}

}  // namespace pelm::aes::neon

#endif
