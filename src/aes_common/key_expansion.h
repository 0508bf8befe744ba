// FIPS-197 5.2, the key expansion for both key sizes, with SubWord given by
// the path that runs it (table, AES instructions or constant-time vector
// code). Words are little-endian loads of the key bytes, so RotWord is a
// right rotation by one byte.
#ifndef PELM_AES_COMMON_KEY_EXPANSION_H
#define PELM_AES_COMMON_KEY_EXPANSION_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "aes_tables.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the key expansion's words assume a little-endian CPU"
#endif

namespace pelm::aes {

// Writes the 4 * (rounds + 1) words of the schedule of a key of
// `key_words` words (4 or 8), in order, as bytes.
template <typename SubWord>
inline void expand_key_schedule(const uint8_t* key, int key_words, int rounds, uint8_t* schedule,
                                SubWord sub_word) {
  std::memcpy(schedule, key, 4 * static_cast<size_t>(key_words));
  for (int i = key_words; i < 4 * (rounds + 1); ++i) {
    uint32_t temp, previous;
    std::memcpy(&temp, schedule + 4 * (i - 1), 4);
    std::memcpy(&previous, schedule + 4 * (i - key_words), 4);
    if (i % key_words == 0) {  // RotWord, SubWord, Rcon
      temp = sub_word(temp >> 8 | temp << 24) ^ kRcon[i / key_words];
    } else if (key_words > 6 && i % key_words == 4) {
      temp = sub_word(temp);
    }
    const uint32_t word = previous ^ temp;
    std::memcpy(schedule + 4 * i, &word, 4);
  }
}

}  // namespace pelm::aes

#endif
