// The value of one hex digit, either case, by arithmetic alone: no branch
// on the character, so loops over whole texts vectorise. Shared by the hex
// codec and by the natives, which decode hex straight from Java strings.
#ifndef PELM_AES128_HEX_DIGIT_H
#define PELM_AES128_HEX_DIGIT_H

#include <cstddef>
#include <cstdint>

namespace pelm::aes128 {

// Anything but 0-9, a-f and A-F sets `fault`; the value returned is then
// meaningless. The digit's kind picks the value by a mask, not a branch
// the CPU would mispredict on random digits.
inline uint8_t hex_digit_value(uint8_t c, uint8_t& fault) {
  const uint8_t decimal = c - '0';
  const uint8_t letter = (c | 0x20) - 'a';  // either case
  const bool is_decimal = decimal < 10, is_letter = letter < 6;
  fault |= !(is_decimal | is_letter);
  const uint8_t decimal_mask = static_cast<uint8_t>(-static_cast<int>(is_decimal));
  return static_cast<uint8_t>((decimal & decimal_mask) | ((letter + 10) & ~decimal_mask));
}

// Decodes `pairs` digit pairs from `chars` into `bytes`.
inline void decode_hex_pairs(const uint8_t* chars, size_t pairs, uint8_t* bytes, uint8_t& fault) {
  for (size_t i = 0; i < pairs; ++i) {
    const uint8_t high = hex_digit_value(chars[2 * i], fault);
    const uint8_t low = hex_digit_value(chars[2 * i + 1], fault);
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
}

}  // namespace pelm::aes128

#endif
