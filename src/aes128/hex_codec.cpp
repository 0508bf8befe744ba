// Strict hex codec: lowercase out, either case in, nothing else accepted.
#include <cstdlib>
#include <cstring>

#include "pelm/hex.h"

extern "C" char* bbddbbdbb(const uint8_t* bytes, uint64_t length) {
  static const char kDigits[] = "0123456789abcdef";
  if (bytes == nullptr || length == 0) return nullptr;
  if (length > (SIZE_MAX - 1) / 2) return nullptr;
  char* text = static_cast<char*>(std::malloc(2 * length + 1));
  if (text == nullptr) return nullptr;
  for (uint64_t i = 0; i < length; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0f];
  }
  text[2 * length] = '\0';
  return text;
}

extern "C" int bbbddbdbb(char ch, uint8_t* out) {
  if (out == nullptr) return 0;
  const unsigned char c = static_cast<unsigned char>(ch);
  int value;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else {
    return 0;
  }
  *out = static_cast<uint8_t>(value);
  return 1;
}

extern "C" uint8_t* bdddbddbb(const char* text) {
  if (text == nullptr || text[0] == '\0') return nullptr;
  const size_t length = std::strlen(text);
  if (length % 2 != 0) return nullptr;
  uint8_t* bytes = static_cast<uint8_t*>(std::malloc(length / 2 + 1));
  if (bytes == nullptr) return nullptr;
  for (size_t i = 0; i < length / 2; ++i) {
    uint8_t high, low;
    if (!bbbddbdbb(text[2 * i], &high) || !bbbddbdbb(text[2 * i + 1], &low)) {
      std::free(bytes);
      return nullptr;
    }
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  bytes[length / 2] = '\0';
  return bytes;
}
