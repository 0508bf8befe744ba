// Constant-time AES rounds on SSSE3, for both key sizes and for CPUs
// without AES-NI. SubBytes reads the whole S-box for every block: each of
// its 16 rows of 16 entries is loaded from a fixed address and indexed with
// PSHUFB by the low nibbles, and the row matching each byte's high nibble is
// kept by a compare mask. No branch and no memory address depends on the
// data or the key. Included only by the files of the SSSE3 path, compiled
// for SSSE3 by attribute.
#ifndef PELM_AES_COMMON_SSSE3_ROUNDS_H
#define PELM_AES_COMMON_SSSE3_ROUNDS_H

#include <tmmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "aes_tables.h"
#include "key_expansion.h"
#include "x86_blocks.h"

#define PELM_SSSE3 __attribute__((target("ssse3")))

namespace pelm::aes::ssse3 {

using blocks::load;
using blocks::store;

// Every byte through `box` (256 entries), all 256 entries read.
PELM_SSSE3 inline __m128i substitute(__m128i x, const uint8_t* box) {
  const __m128i nibble = _mm_set1_epi8(0x0f);
  const __m128i low = _mm_and_si128(x, nibble);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), nibble);
  __m128i result = _mm_setzero_si128();
  for (int row = 0; row < 16; ++row) {
    const __m128i entries = _mm_shuffle_epi8(load(box + 16 * row), low);
    const __m128i mine = _mm_cmpeq_epi8(high, _mm_set1_epi8(static_cast<char>(row)));
    result = _mm_or_si128(result, _mm_and_si128(entries, mine));
  }
  return result;
}

// The block's byte n is the state's row n mod 4, column n div 4.
PELM_SSSE3 inline __m128i shift_rows(__m128i s) {
  return _mm_shuffle_epi8(s, _mm_setr_epi8(0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12, 1, 6, 11));
}

PELM_SSSE3 inline __m128i inv_shift_rows(__m128i s) {
  return _mm_shuffle_epi8(s, _mm_setr_epi8(0, 13, 10, 7, 4, 1, 14, 11, 8, 5, 2, 15, 12, 9, 6, 3));
}

// Within each column: byte i takes byte i + 1 (rotate_1) or i + 2.
PELM_SSSE3 inline __m128i rotate_1(__m128i s) {
  return _mm_shuffle_epi8(s, _mm_setr_epi8(1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8, 13, 14, 15, 12));
}

PELM_SSSE3 inline __m128i rotate_2(__m128i s) {
  return _mm_shuffle_epi8(s, _mm_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
}

// Each byte times x in GF(2^8): doubled, and 0x1b folded in where its top
// bit was set (a mask from the sign, no branch).
PELM_SSSE3 inline __m128i xtime(__m128i v) {
  const __m128i top = _mm_cmpgt_epi8(_mm_setzero_si128(), v);
  return _mm_xor_si128(_mm_add_epi8(v, v), _mm_and_si128(top, _mm_set1_epi8(0x1b)));
}

// a_i ^ t ^ xtime(a_i ^ a_i+1), t the XOR of the column.
PELM_SSSE3 inline __m128i mix_columns(__m128i a) {
  const __m128i neighbours = _mm_xor_si128(a, rotate_1(a));
  const __m128i t = _mm_xor_si128(neighbours, rotate_2(neighbours));
  return _mm_xor_si128(_mm_xor_si128(a, t), xtime(neighbours));
}

// ({04}x^2 + {05}) first, then MixColumns: InvMixColumns.
PELM_SSSE3 inline __m128i inv_mix_columns(__m128i a) {
  return mix_columns(_mm_xor_si128(a, xtime(xtime(_mm_xor_si128(a, rotate_2(a))))));
}

PELM_SSSE3 inline __m128i round_key(const uint8_t* schedule, int round) {
  return load(schedule + 16 * round);
}

PELM_SSSE3 inline __m128i encrypt(__m128i s, const uint8_t* schedule, int rounds) {
  s = _mm_xor_si128(s, round_key(schedule, 0));
  for (int round = 1; round < rounds; ++round) {
    s = _mm_xor_si128(mix_columns(shift_rows(substitute(s, kSbox))), round_key(schedule, round));
  }
  return _mm_xor_si128(shift_rows(substitute(s, kSbox)), round_key(schedule, rounds));
}

// The inverse cipher of FIPS-197 5.3, on the schedule as expanded.
PELM_SSSE3 inline __m128i decrypt(__m128i s, const uint8_t* schedule, int rounds) {
  s = _mm_xor_si128(s, round_key(schedule, rounds));
  for (int round = rounds - 1; round > 0; --round) {
    s = substitute(inv_shift_rows(s), kInvSbox);
    s = inv_mix_columns(_mm_xor_si128(s, round_key(schedule, round)));
  }
  return _mm_xor_si128(substitute(inv_shift_rows(s), kInvSbox), round_key(schedule, 0));
}

// The rounds with one key's schedule, as the shared mode loops take them:
// one block at a time.
template <int Rounds>
struct BlockCipher {
  static constexpr size_t kWidth = 1;
  const uint8_t* schedule;

  PELM_SSSE3 __m128i encrypt(__m128i s) const { return ssse3::encrypt(s, schedule, Rounds); }
  PELM_SSSE3 __m128i decrypt(__m128i s) const { return ssse3::decrypt(s, schedule, Rounds); }
};

PELM_SSSE3 inline uint32_t sub_word(uint32_t w) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(
      substitute(_mm_cvtsi32_si128(static_cast<int>(w)), kSbox)));
}

// FIPS-197 5.2 on this path's SubWord.
PELM_SSSE3 inline void expand_key(const uint8_t* key, int key_words, int rounds, uint8_t* schedule) {
  expand_key_schedule(key, key_words, rounds, schedule, sub_word);
}

}  // namespace pelm::aes::ssse3

#endif
