/* The compact AES-128 engine (FIPS-197) and its ECB, CBC and CTR operations.
 *
 * These five operations share one process-wide round key schedule and one
 * CBC chaining value, and each runs under one process-wide mutex, so calls
 * from any number of threads give correct results. A CBC chain carried over
 * several calls (null key and IV after the first call) is the exception:
 * the caller must keep every other call of these five out until the chain
 * is done, since any call with a key replaces the schedule and any CBC call
 * moves the chaining value. The library's own paths (the text cipher, the
 * natives) never touch this state: a chain goes on from the last call of
 * these five only.
 *
 * Called on a thread that is inside one of them already (from a signal
 * handler that interrupted it), an operation runs on a state of its own and
 * leaves the shared one alone; a CBC call there with a null key or iv has
 * nothing to go on from and writes nothing. None of them is a cancellation
 * point.
 *
 * Keys and IVs are the 16 bytes at the given pointers. A null pointer where
 * one is required, or a null buffer with a non-zero length, makes the call
 * do nothing. */
#ifndef PELM_AES128_H
#define PELM_AES128_H

#include <stdint.h>

#include "pelm/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ECB, one block: copies `length` bytes from input to output, then
 * encrypts (qqppqp) or decrypts (qqppqq) the first 16 bytes of output in
 * place. Output must hold at least 16 and at least `length` bytes; input
 * and output may be the same buffer. */
PELM_EXPORT void qqppqp(const uint8_t* input, const uint8_t* key,
                        uint8_t* output, uint32_t length);
PELM_EXPORT void qqppqq(const uint8_t* input, const uint8_t* key,
                        uint8_t* output, uint32_t length);

/* CBC encryption. A tail of r < 16 bytes is zero-filled to a whole block,
 * so output needs length rounded up to 16. A null key keeps the current
 * schedule; a null iv chains on from the last whole block of the previous
 * CBC call (all zeros if there was none). Output may equal input. */
PELM_EXPORT void qpppqp(uint8_t* output, const uint8_t* input,
                        uint32_t length, const uint8_t* key,
                        const uint8_t* iv);

/* CBC decryption, with the same key and iv rules. A tail block is run
 * through the inverse cipher alone, without chaining. */
PELM_EXPORT void qqqpqp(uint8_t* output, const uint8_t* input,
                        uint32_t length, const uint8_t* key,
                        const uint8_t* iv);

/* CTR over exactly `length` bytes; iv is the initial 128-bit big-endian
 * counter. Key and iv are required. Output may equal input. */
PELM_EXPORT void qppqqp(uint8_t* output, const uint8_t* input,
                        uint32_t length, const uint8_t* key,
                        const uint8_t* iv);

/* Readable names for the operations above, for code that calls them; the
 * library exports only the short names. */
static inline void pelm_aes128_ecb_encrypt(const uint8_t* input, const uint8_t* key,
                                           uint8_t* output, uint32_t length) {
  qqppqp(input, key, output, length);
}
static inline void pelm_aes128_ecb_decrypt(const uint8_t* input, const uint8_t* key,
                                           uint8_t* output, uint32_t length) {
  qqppqq(input, key, output, length);
}
static inline void pelm_aes128_cbc_encrypt(uint8_t* output, const uint8_t* input,
                                           uint32_t length, const uint8_t* key,
                                           const uint8_t* iv) {
  qpppqp(output, input, length, key, iv);
}
static inline void pelm_aes128_cbc_decrypt(uint8_t* output, const uint8_t* input,
                                           uint32_t length, const uint8_t* key,
                                           const uint8_t* iv) {
  qqqpqp(output, input, length, key, iv);
}
static inline void pelm_aes128_ctr(uint8_t* output, const uint8_t* input, uint32_t length,
                                   const uint8_t* key, const uint8_t* iv) {
  qppqqp(output, input, length, key, iv);
}

#ifdef __cplusplus
}
#endif

#endif
