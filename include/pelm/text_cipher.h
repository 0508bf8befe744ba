/* Text cipher: AES-128-CBC with PKCS #7 padding, ciphertext as lowercase
 * hex. Key and IV are the first 16 raw bytes at the given pointers (not
 * hex); each call starts a fresh chain. Each call runs the AES-128 engine
 * on a state of its own: it takes no lock, calls may overlap on any
 * threads, and the engine operations of pelm/aes128.h never see its key or
 * chain. Results come from malloc; free them with free(). */
#ifndef PELM_TEXT_CIPHER_H
#define PELM_TEXT_CIPHER_H

#include <stdint.h>

#include "pelm/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Hex of the ciphertext, 32 characters per block. Null when an argument is
 * null, the padded text would exceed INT32_MAX bytes, or memory runs out. */
PELM_EXPORT char* ll11l1l1ll(const uint8_t* key, const uint8_t* iv,
                             const char* text);

/* The decrypted text. Valid PKCS #7 padding is removed exactly; otherwise
 * the text ends at its first byte from 0x01 to 0x10. Null when an argument
 * is null, the hex text does not decode, it is too long, or memory runs
 * out. A wrong key or IV gives some text, never null. */
PELM_EXPORT char* ll11lll11l(const uint8_t* key, const uint8_t* iv,
                             const char* hex);

/* Readable names for the two functions above (only the short names are
 * exported). */
static inline char* pelm_text_encrypt(const uint8_t* key, const uint8_t* iv, const char* text) {
  return ll11l1l1ll(key, iv, text);
}
static inline char* pelm_text_decrypt(const uint8_t* key, const uint8_t* iv, const char* hex) {
  return ll11lll11l(key, iv, hex);
}

#ifdef __cplusplus
}
#endif

#endif
