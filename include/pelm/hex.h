/* Strict hex codec: lowercase output, either case on input, and no
 * tolerance for anything that is not a hex digit. Results come from malloc
 * and are NUL-terminated; free them with free(). Safe on any thread. */
#ifndef PELM_HEX_H
#define PELM_HEX_H

#include <stdint.h>

#include "pelm/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 2 * length lowercase hex characters. Null when bytes is null, length is
 * 0, or memory runs out. */
PELM_EXPORT char* bbddbbdbb(const uint8_t* bytes, uint64_t length);

/* 1 and the digit's value stored at out when ch is a hex digit; otherwise
 * 0 with out untouched. 0 when out is null. */
PELM_EXPORT int bbbddbdbb(char ch, uint8_t* out);

/* strlen(text) / 2 decoded bytes followed by a NUL. Null when text is null
 * or empty, of odd length, holds a non-digit, or memory runs out. */
PELM_EXPORT uint8_t* bdddbddbb(const char* text);

/* Readable names for the three functions above (only the short names are
 * exported). */
static inline char* pelm_hex_encode(const uint8_t* bytes, uint64_t length) {
  return bbddbbdbb(bytes, length);
}
static inline int pelm_hex_digit(char ch, uint8_t* out) { return bbbddbdbb(ch, out); }
static inline uint8_t* pelm_hex_decode(const char* text) { return bdddbddbb(text); }

#ifdef __cplusplus
}
#endif

#endif
