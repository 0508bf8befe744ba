// Strict hex codec: lowercase out, either case in, nothing else accepted.
// Both directions are plain arithmetic with no branch on the characters
// (the loops vectorise): a decode collects a fault flag and checks it once
// at the end.
#include <cstdlib>
#include <cstring>

#include "hex_digit.h"
#include "pelm/hex.h"

namespace {

// The lowercase digit of a nibble: '0' + n, and 39 more from 10 on.
inline char digit_of(uint8_t n) { return static_cast<char>('0' + n + (n > 9 ? 39 : 0)); }

}  // namespace

extern "C" char* bbddbbdbb(const uint8_t* bytes, uint64_t length) {
  if (bytes == nullptr || length == 0) return nullptr;
  if (length > (SIZE_MAX - 1) / 2) return nullptr;
  char* text = static_cast<char*>(std::malloc(2 * length + 1));
  if (text == nullptr) return nullptr;
  for (uint64_t i = 0; i < length; ++i) {
    text[2 * i] = digit_of(bytes[i] >> 4);
    text[2 * i + 1] = digit_of(bytes[i] & 0x0f);
  }
  text[2 * length] = '\0';
  return text;
}

extern "C" int bbbddbdbb(char ch, uint8_t* out) {
  if (out == nullptr) return 0;
  uint8_t fault = 0;
  const uint8_t value = pelm::aes128::hex_digit_value(static_cast<uint8_t>(ch), fault);
  if (fault) return 0;
  *out = value;
  return 1;
}

extern "C" uint8_t* bdddbddbb(const char* text) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  const size_t length = std::strlen(text);
  if (length % 2 != 0) return nullptr;
  uint8_t* bytes = static_cast<uint8_t*>(std::malloc(length / 2 + 1));
  if (bytes == nullptr) return nullptr;
  const auto* chars = reinterpret_cast<const uint8_t*>(text);
  uint8_t fault = 0;
  pelm::aes128::decode_hex_pairs(chars, length / 2, bytes, fault);
  if (fault) {
    std::free(bytes);
    return nullptr;
  }
  bytes[length / 2] = '\0';
  return bytes;
}
