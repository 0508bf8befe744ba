// Byte-oriented AES-128 (FIPS-197, Nk = 4, Nr = 10), transforming the
// current block in place.
#include "engine.h"

namespace pelm::aes128 {

EngineState g_engine;
std::mutex g_engine_mutex;

namespace {

inline uint8_t xtime(uint8_t b) {
  return static_cast<uint8_t>((b << 1) ^ ((b >> 7) * 0x1b));
}

// Byte n of the block is the state byte at row n % 4, column n / 4.
// SubBytes and ShiftRows in one pass: row r rotates left by r columns.
void SubBytesShiftRows(uint8_t* s) {
  uint8_t t;
  s[0] = kSbox[s[0]], s[4] = kSbox[s[4]], s[8] = kSbox[s[8]], s[12] = kSbox[s[12]];
  t = s[1], s[1] = kSbox[s[5]], s[5] = kSbox[s[9]], s[9] = kSbox[s[13]], s[13] = kSbox[t];
  t = s[2], s[2] = kSbox[s[10]], s[10] = kSbox[t];
  t = s[6], s[6] = kSbox[s[14]], s[14] = kSbox[t];
  t = s[15], s[15] = kSbox[s[11]], s[11] = kSbox[s[7]], s[7] = kSbox[s[3]], s[3] = kSbox[t];
}

// InvShiftRows and InvSubBytes in one pass: row r rotates right by r.
void InvShiftRowsSubBytes(uint8_t* s) {
  uint8_t t;
  s[0] = kInvSbox[s[0]], s[4] = kInvSbox[s[4]], s[8] = kInvSbox[s[8]], s[12] = kInvSbox[s[12]];
  t = s[13], s[13] = kInvSbox[s[9]], s[9] = kInvSbox[s[5]], s[5] = kInvSbox[s[1]], s[1] = kInvSbox[t];
  t = s[2], s[2] = kInvSbox[s[10]], s[10] = kInvSbox[t];
  t = s[6], s[6] = kInvSbox[s[14]], s[14] = kInvSbox[t];
  t = s[3], s[3] = kInvSbox[s[7]], s[7] = kInvSbox[s[11]], s[11] = kInvSbox[s[15]], s[15] = kInvSbox[t];
}

// Each column times {03}x^3 + {01}x^2 + {01}x + {02}.
void MixColumns(uint8_t* s) {
  for (int c = 0; c < 4; ++c) {
    uint8_t* a = s + 4 * c;
    const uint8_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
    const uint8_t t = a0 ^ a1 ^ a2 ^ a3;
    a[0] = a0 ^ t ^ xtime(a0 ^ a1);
    a[1] = a1 ^ t ^ xtime(a1 ^ a2);
    a[2] = a2 ^ t ^ xtime(a2 ^ a3);
    a[3] = a3 ^ t ^ xtime(a3 ^ a0);
  }
}

// Each column times {0b}x^3 + {0d}x^2 + {09}x + {0e}, which factors into
// ({04}x^2 + {05}) followed by MixColumns' polynomial.
void InvMixColumns(uint8_t* s) {
  for (int c = 0; c < 4; ++c) {
    uint8_t* a = s + 4 * c;
    const uint8_t u = xtime(xtime(a[0] ^ a[2]));
    const uint8_t v = xtime(xtime(a[1] ^ a[3]));
    a[0] ^= u, a[1] ^= v, a[2] ^= u, a[3] ^= v;
  }
  MixColumns(s);
}

}  // namespace

void KeyExpansion() {
  uint8_t* w = g_engine.round_keys;
  for (size_t i = 0; i < kKeySize; ++i) w[i] = g_engine.key[i];
  for (size_t i = 4; i < kScheduleSize / 4; ++i) {
    uint8_t temp[4] = {w[4 * i - 4], w[4 * i - 3], w[4 * i - 2], w[4 * i - 1]};
    if (i % 4 == 0) {
      const uint8_t first = temp[0];  // RotWord, SubWord, Rcon
      temp[0] = kSbox[temp[1]] ^ kRcon[i / 4];
      temp[1] = kSbox[temp[2]];
      temp[2] = kSbox[temp[3]];
      temp[3] = kSbox[first];
    }
    for (int j = 0; j < 4; ++j) w[4 * i + j] = w[4 * i - 16 + j] ^ temp[j];
  }
}

void AddRoundKey(uint8_t round) {
  // Local copies: a store through a byte pointer could otherwise alias the
  // engine state and force a reload on every byte.
  uint8_t* s = g_engine.block;
  const uint8_t* k = g_engine.round_keys + kBlockSize * round;
  for (size_t i = 0; i < kBlockSize; ++i) s[i] ^= k[i];
}

void Cipher() {
  uint8_t* s = g_engine.block;
  AddRoundKey(0);
  for (uint8_t round = 1; round < kRounds; ++round) {
    SubBytesShiftRows(s);
    MixColumns(s);
    AddRoundKey(round);
  }
  SubBytesShiftRows(s);
  AddRoundKey(kRounds);
}

void InvCipher() {
  uint8_t* s = g_engine.block;
  AddRoundKey(kRounds);
  for (uint8_t round = kRounds - 1; round > 0; --round) {
    InvShiftRowsSubBytes(s);
    AddRoundKey(round);
    InvMixColumns(s);
  }
  InvShiftRowsSubBytes(s);
  AddRoundKey(0);
}

}  // namespace pelm::aes128
