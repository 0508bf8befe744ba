// The value of one hex digit, either case, by arithmetic alone: no branch
// on the character, so loops over whole texts vectorise. Shared by the hex
// codec and by the natives, which decode hex straight from Java strings.
#ifndef PELM_AES128_HEX_DIGIT_H
#define PELM_AES128_HEX_DIGIT_H

#include <cstdint>

namespace pelm::aes128 {

// Anything but 0-9, a-f and A-F sets `fault`; the value returned is then
// meaningless.
inline uint8_t hex_digit_value(uint8_t c, uint8_t& fault) {
  const uint8_t decimal = c - '0';
  const uint8_t letter = (c | 0x20) - 'a';
  const bool is_decimal = decimal < 10, is_letter = letter < 6;
  fault |= !(is_decimal | is_letter);
  return is_decimal ? decimal : letter + 10;
}

}  // namespace pelm::aes128

#endif
