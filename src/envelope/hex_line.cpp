// Lenient hex decoding for the envelope's key and IV texts: every byte has a
// value, non-digits count as -1, and only an odd length is refused.
#include "pelm/envelope.h"

int myHexValue(char ch) {
  const unsigned char c = static_cast<unsigned char>(ch);
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string myHexLine(const std::string& text) {
  std::string bytes;
  if (text.size() % 2 != 0) return bytes;
  bytes.resize(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int high = myHexValue(text[2 * i]);
    const int low = myHexValue(text[2 * i + 1]);
    // Two's-complement wrap: a -1 nibble gives the fixed bytes 0xEF, 0xFF...
    bytes[i] = static_cast<char>(static_cast<unsigned>(16 * high + low) & 0xFF);
  }
  return bytes;
}
