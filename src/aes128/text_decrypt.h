// The text cipher's decryption on ciphertext already decoded from hex, for
// the natives, which decode hex straight from Java strings. Hidden from
// other native code.
#ifndef PELM_AES128_TEXT_DECRYPT_H
#define PELM_AES128_TEXT_DECRYPT_H

#include <cstddef>
#include <cstdint>

namespace pelm::aes128 {

// Decrypts the whole 16-byte blocks of data[0, length) in place with a
// fresh chain from `key` and `iv` (16 bytes each) and unpads them as the
// text cipher does; everything after the text, through data[length] (which
// must be writable), is then zero, so the text ends at its first zero byte.
// length / 16 * 16 must not exceed INT32_MAX.
void decrypt_text_in_place(const uint8_t* key, const uint8_t* iv, uint8_t* data, size_t length);

}  // namespace pelm::aes128

#endif
