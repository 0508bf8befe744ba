// The software AES rounds for both key sizes (FIPS-197): two 256-byte
// S-boxes, field products by xtime, and the block in four 32-bit column
// words for a whole cipher run. Column word c holds state rows 0..3 of
// column c in its bytes from least to most significant, which is the
// block's byte order on a little-endian CPU.
#ifndef PELM_AES_COMMON_COMPACT_ROUNDS_H
#define PELM_AES_COMMON_COMPACT_ROUNDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "aes_tables.h"
#include "key_expansion.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the column words assume a little-endian CPU"
#endif

namespace pelm::aes::compact {

inline uint32_t load_word(const uint8_t* p) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

inline void store_word(uint8_t* p, uint32_t w) { std::memcpy(p, &w, 4); }

inline uint32_t rotate_bytes(uint32_t w, int bytes) {
  return w >> (8 * bytes) | w << (32 - 8 * bytes);
}

// xtime on the four bytes at once, by mask and shift: each byte whose top
// bit is set contributes 0x80 - 0x01 = 0x7f, masked down to 0x1b.
inline uint32_t xtime4(uint32_t w) {
  const uint32_t top = w & 0x80808080u;
  return ((w & 0x7f7f7f7fu) << 1) ^ ((top - (top >> 7)) & 0x1b1b1b1bu);
}

// Each byte becomes a_i ^ t ^ xtime(a_i ^ a_i+1), t the XOR of all four:
// the column times {03}x^3 + {01}x^2 + {01}x + {02}.
inline uint32_t mix_column(uint32_t a) {
  const uint32_t neighbours = a ^ rotate_bytes(a, 1);  // a_i ^ a_i+1
  const uint32_t t = neighbours ^ rotate_bytes(neighbours, 2);
  return a ^ t ^ xtime4(neighbours);
}

// {0b}x^3 + {0d}x^2 + {09}x + {0e} factors into ({04}x^2 + {05}) followed
// by MixColumns' polynomial.
inline uint32_t inv_mix_column(uint32_t a) {
  return mix_column(a ^ xtime4(xtime4(a ^ rotate_bytes(a, 2))));
}

inline uint32_t sub(const uint8_t* box, uint32_t w, int row) {
  return uint32_t{box[(w >> (8 * row)) & 0xff]} << (8 * row);
}

inline uint32_t sub_word(uint32_t w) {
  return sub(kSbox, w, 0) | sub(kSbox, w, 1) | sub(kSbox, w, 2) | sub(kSbox, w, 3);
}

// SubBytes and ShiftRows in one pass: row r of column c comes from column
// c + r; for the inverse, from column c - r.
inline void sub_shift(uint32_t s[4]) {
  const uint32_t c0 = s[0], c1 = s[1], c2 = s[2], c3 = s[3];
  s[0] = sub(kSbox, c0, 0) | sub(kSbox, c1, 1) | sub(kSbox, c2, 2) | sub(kSbox, c3, 3);
  s[1] = sub(kSbox, c1, 0) | sub(kSbox, c2, 1) | sub(kSbox, c3, 2) | sub(kSbox, c0, 3);
  s[2] = sub(kSbox, c2, 0) | sub(kSbox, c3, 1) | sub(kSbox, c0, 2) | sub(kSbox, c1, 3);
  s[3] = sub(kSbox, c3, 0) | sub(kSbox, c0, 1) | sub(kSbox, c1, 2) | sub(kSbox, c2, 3);
}

inline void inv_shift_sub(uint32_t s[4]) {
  const uint32_t c0 = s[0], c1 = s[1], c2 = s[2], c3 = s[3];
  s[0] = sub(kInvSbox, c0, 0) | sub(kInvSbox, c3, 1) | sub(kInvSbox, c2, 2) | sub(kInvSbox, c1, 3);
  s[1] = sub(kInvSbox, c1, 0) | sub(kInvSbox, c0, 1) | sub(kInvSbox, c3, 2) | sub(kInvSbox, c2, 3);
  s[2] = sub(kInvSbox, c2, 0) | sub(kInvSbox, c1, 1) | sub(kInvSbox, c0, 2) | sub(kInvSbox, c3, 3);
  s[3] = sub(kInvSbox, c3, 0) | sub(kInvSbox, c2, 1) | sub(kInvSbox, c1, 2) | sub(kInvSbox, c0, 3);
}

inline void add_round_key(uint32_t s[4], const uint8_t* schedule, int round) {
  const uint8_t* k = schedule + 16 * round;
  for (int c = 0; c < 4; ++c) s[c] ^= load_word(k + 4 * c);
}

inline void load_block(uint32_t s[4], const uint8_t* block) {
  for (int c = 0; c < 4; ++c) s[c] = load_word(block + 4 * c);
}

inline void store_block(uint8_t* block, const uint32_t s[4]) {
  for (int c = 0; c < 4; ++c) store_word(block + 4 * c, s[c]);
}

// The cipher on the block held in column words, `rounds` rounds.
inline void encrypt_words(uint32_t s[4], const uint8_t* schedule, int rounds) {
  add_round_key(s, schedule, 0);
  for (int round = 1; round < rounds; ++round) {
    sub_shift(s);
    for (int c = 0; c < 4; ++c) s[c] = mix_column(s[c]);
    add_round_key(s, schedule, round);
  }
  sub_shift(s);
  add_round_key(s, schedule, rounds);
}

// The inverse cipher of FIPS-197 5.3 (not the equivalent one): round keys
// as expanded, InvMixColumns after AddRoundKey.
inline void decrypt_words(uint32_t s[4], const uint8_t* schedule, int rounds) {
  add_round_key(s, schedule, rounds);
  for (int round = rounds - 1; round > 0; --round) {
    inv_shift_sub(s);
    add_round_key(s, schedule, round);
    for (int c = 0; c < 4; ++c) s[c] = inv_mix_column(s[c]);
  }
  inv_shift_sub(s);
  add_round_key(s, schedule, 0);
}

// FIPS-197 5.2 on this path's SubWord.
inline void expand_key(const uint8_t* key, int key_words, int rounds, uint8_t* schedule) {
  expand_key_schedule(key, key_words, rounds, schedule, sub_word);
}

}  // namespace pelm::aes::compact

#endif
